#pragma once

// A small element tree for the few XML texts handled outside the web-service stack (the
// software-update feed, the analytics request body). It keeps elements, their attributes
// in document order and one text per element; comments, processing instructions,
// namespace declarations and everything else are dropped (names keep their prefixes).
//
// Parsing takes untrusted network text: no network access, no entity substitution, no
// external subset; a document with a DTD, over kMaxDocumentBytes, nested deeper than
// the parser allows, or not well-formed gives an empty document and one log line.
// Character and predefined entity references stay inside their text ("AT&amp;T" reads
// "AT&T"). Of text split by a comment, CDATA section or child element only the last
// piece is kept.

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class ZYMSimpleXMLElement {
public:
    using Children = std::vector<std::unique_ptr<ZYMSimpleXMLElement>>;

    ZYMSimpleXMLElement() = default;
    // A null text means "no text".
    ZYMSimpleXMLElement(const QString& tag, const QString& text);
    virtual ~ZYMSimpleXMLElement() = default;
    ZYMSimpleXMLElement(const ZYMSimpleXMLElement&) = delete;
    ZYMSimpleXMLElement& operator=(const ZYMSimpleXMLElement&) = delete;

    static std::unique_ptr<ZYMSimpleXMLElement> elementWithTag(const QString& tag, const QString& text);

    const QStringList& attributeOrder() const { return attributeOrder_; }
    const QHash<QString, QString>& attributes() const { return attributes_; }
    const QString& tag() const { return tag_; }
    const QString& text() const { return text_; }
    // Not owned: set by the parser; elements given to setChildren get none.
    ZYMSimpleXMLElement* parent() const { return parent_; }
    const Children& children() const { return children_; }

    void setAttributeOrder(const QStringList& order) { attributeOrder_ = order; }
    void setAttributes(const QHash<QString, QString>& attributes) { attributes_ = attributes; }
    // Appends the name to the order when it is new.
    void setAttribute(const QString& name, const QString& value);
    void setTag(const QString& tag) { tag_ = tag; }
    void setText(const QString& text) { text_ = text; }
    void setParent(ZYMSimpleXMLElement* parent) { parent_ = parent; }
    void setChildren(Children children) { children_ = std::move(children); }
    void appendChild(std::unique_ptr<ZYMSimpleXMLElement> child) { children_.push_back(std::move(child)); }

    // No tag, no text and no children (attributes do not count).
    bool isEmpty() const;
    // The first child whose tag equals `name` ignoring case; null when none.
    ZYMSimpleXMLElement* childWithTag(const QString& name) const;
    // The number of ancestors.
    int treeLevel() const;
    // Debugging text: one line per element, indented two blanks per ancestor.
    QString description() const;

    // UTF-8 XML of this element and its subtree: start and end tag always (never the
    // self-closing form), attributes in order, the children, then the text; nothing
    // between nodes. "&", "<", ">" and quotes are escaped; characters XML cannot carry
    // are left out.
    virtual QByteArray xmlData() const;

protected:
    void writeElement(QByteArray& out) const;
    void writeContent(QByteArray& out) const;

private:
    QStringList attributeOrder_;
    QHash<QString, QString> attributes_;
    QString tag_;
    QString text_;
    ZYMSimpleXMLElement* parent_ = nullptr;
    Children children_;
};

class ZYMSimpleXMLDocument : public ZYMSimpleXMLElement {
public:
    static constexpr qsizetype kMaxDocumentBytes = 4 * 1024 * 1024;

    // An empty document.
    ZYMSimpleXMLDocument() = default;
    // Parses the bytes; an empty document when they are refused (see above).
    explicit ZYMSimpleXMLDocument(const QByteArray& data);

    // Reads a local file (a path or a file: URL); an unreadable file gives an empty
    // document. Network URLs are not read here: they go through the HTTP client.
    static std::unique_ptr<ZYMSimpleXMLDocument> fromFile(const QString& pathOrFileUrl);

    // The top-level elements without any XML declaration.
    QByteArray xmlData() const override;
};
