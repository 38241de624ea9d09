#include "app/support/ZYMSimpleXMLDocument.h"

#include "runtime/LogMessage.h"

#include <QFile>
#include <QUrl>

#include <libxml/parser.h>
#include <libxml/tree.h>

namespace {

// libxml2 refuses deeper documents itself (without XML_PARSE_HUGE); this bound keeps the
// tree walk safe whatever the library's setting.
constexpr int kMaxDepth = 256;

QString fromXmlChar(const xmlChar* s) { return s ? QString::fromUtf8(reinterpret_cast<const char*>(s)) : QString(); }

bool isBlank(const QString& s) {
    for (QChar c : s) {
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') return false;
    }
    return true;
}

QString qualifiedName(const xmlChar* name, const xmlNs* ns) {
    const QString local = fromXmlChar(name);
    if (ns && ns->prefix) return fromXmlChar(ns->prefix) + u':' + local;
    return local;
}

bool xmlCanCarry(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

void appendEscaped(QByteArray& out, const QString& text, bool attribute) {
    for (char32_t c : text.toUcs4()) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\r': out += "&#13;"; break;
        case '\t':
        case '\n':
            // The parser turns these into blanks inside attribute values.
            if (attribute) {
                out += c == '\t' ? "&#9;" : "&#10;";
            } else {
                out += char(c);
            }
            break;
        default:
            if (xmlCanCarry(c)) out += QString::fromUcs4(&c, 1).toUtf8();
            break;
        }
    }
}

struct ParseGuard {
    bool sawDtd = false;
};

void refuseSubset(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    static_cast<ParseGuard*>(ctxt->_private)->sawDtd = true;
    // Stops before any declaration of the subset is read, so no entity is ever expanded.
    xmlStopParser(ctxt);
}

// Fills `element` from the child nodes of `node`, as the tree keeps them.
bool readChildren(ZYMSimpleXMLElement& element, xmlNodePtr node, int depth) {
    if (depth > kMaxDepth) return false;
    ZYMSimpleXMLElement::Children kept;
    for (xmlNodePtr c = node->children; c; c = c->next) {
        auto x = std::make_unique<ZYMSimpleXMLElement>();
        x->setParent(&element);
        switch (c->type) {
        case XML_ELEMENT_NODE: {
            x->setTag(qualifiedName(c->name, c->ns));
            // Namespace declarations are not kept: names keep their prefixes as written.
            for (xmlAttrPtr a = c->properties; a; a = a->next) {
                xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(a));
                x->setAttribute(qualifiedName(a->name, a->ns), fromXmlChar(value));
                xmlFree(value);
            }
            break;
        }
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE: {
            const QString text = fromXmlChar(c->content);
            if (!isBlank(text)) element.setText(text);
            break;
        }
        default: break;
        }
        if (c->type == XML_ELEMENT_NODE && !readChildren(*x, c, depth + 1)) return false;
        if (!x->isEmpty()) kept.push_back(std::move(x));
    }
    if (!kept.empty()) element.setChildren(std::move(kept));
    return true;
}

}  // namespace

ZYMSimpleXMLElement::ZYMSimpleXMLElement(const QString& tag, const QString& text) : tag_(tag), text_(text) {}

std::unique_ptr<ZYMSimpleXMLElement> ZYMSimpleXMLElement::elementWithTag(const QString& tag, const QString& text) {
    return std::make_unique<ZYMSimpleXMLElement>(tag, text);
}

void ZYMSimpleXMLElement::setAttribute(const QString& name, const QString& value) {
    if (!attributes_.contains(name)) attributeOrder_.append(name);
    attributes_.insert(name, value);
}

bool ZYMSimpleXMLElement::isEmpty() const { return tag_.isNull() && text_.isNull() && children_.empty(); }

ZYMSimpleXMLElement* ZYMSimpleXMLElement::childWithTag(const QString& name) const {
    for (const auto& child : children_) {
        if (child->tag().compare(name, Qt::CaseInsensitive) == 0) return child.get();
    }
    return nullptr;
}

int ZYMSimpleXMLElement::treeLevel() const {
    int level = 0;
    for (const ZYMSimpleXMLElement* p = parent_; p; p = p->parent_)
        ++level;
    return level;
}

QString ZYMSimpleXMLElement::description() const {
    QString attributes = QStringLiteral("(null)");
    if (!attributeOrder_.isEmpty()) {
        QStringList pairs;
        for (const QString& name : attributeOrder_)
            pairs << name + QStringLiteral(" = \"") + attributes_.value(name) + QStringLiteral("\";");
        attributes = u'{' + pairs.join(u' ') + u'}';
    }
    auto orNull = [](const QString& s) { return s.isNull() ? QStringLiteral("(null)") : s; };
    QString out = QStringLiteral("\n%1Tag=%2\tAttributes=%3\tText=%4\tChildren=%5")
                      .arg(QString(treeLevel() * 2, u' '), orNull(tag_), attributes, orNull(text_),
                           QString::number(children_.size()));
    for (const auto& child : children_)
        out += child->description();
    return out;
}

QByteArray ZYMSimpleXMLElement::xmlData() const {
    QByteArray out;
    writeElement(out);
    return out;
}

void ZYMSimpleXMLElement::writeElement(QByteArray& out) const {
    const QByteArray tag = tag_.toUtf8();
    out += '<' + tag;
    for (const QString& name : attributeOrder_) {
        out += ' ' + name.toUtf8() + "=\"";
        appendEscaped(out, attributes_.value(name), true);
        out += '"';
    }
    out += '>';
    writeContent(out);
    out += "</" + tag + '>';
}

void ZYMSimpleXMLElement::writeContent(QByteArray& out) const {
    for (const auto& child : children_)
        child->writeElement(out);
    if (!text_.isEmpty()) appendEscaped(out, text_, false);
}

ZYMSimpleXMLDocument::ZYMSimpleXMLDocument(const QByteArray& data) {
    if (data.isEmpty()) return;
    if (data.size() > kMaxDocumentBytes) {
        LogMessage(kLogError, "ZYMSimpleXMLDocument: refused a document of %lld bytes\n",
                   static_cast<long long>(data.size()));
        return;
    }
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) return;
    ParseGuard guard;
    ctxt->_private = &guard;
    ctxt->sax->internalSubset = refuseSubset;
    ctxt->sax->externalSubset = refuseSubset;
    xmlDocPtr doc = xmlCtxtReadMemory(ctxt, data.constData(), int(data.size()), nullptr, nullptr,
                                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    const xmlError* error = xmlCtxtGetLastError(ctxt);
    const QByteArray why = guard.sawDtd                ? QByteArray("a document type declaration")
                           : (error && error->message) ? QByteArray(error->message).trimmed()
                                                       : QByteArray("not well-formed");
    xmlFreeParserCtxt(ctxt);
    const bool ok = doc && !guard.sawDtd && !doc->intSubset && !doc->extSubset &&
                    readChildren(*this, reinterpret_cast<xmlNodePtr>(doc), 0);
    if (doc) xmlFreeDoc(doc);
    if (!ok) {
        setChildren({});
        setText(QString());
        LogMessage(kLogError, "ZYMSimpleXMLDocument: refused the XML text (%s)\n", why.constData());
    }
}

std::unique_ptr<ZYMSimpleXMLDocument> ZYMSimpleXMLDocument::fromFile(const QString& pathOrFileUrl) {
    const QUrl url(pathOrFileUrl);
    const QString path = url.isLocalFile() ? url.toLocalFile() : pathOrFileUrl;
    if (!url.scheme().isEmpty() && !url.isLocalFile()) return std::make_unique<ZYMSimpleXMLDocument>();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::make_unique<ZYMSimpleXMLDocument>();
    // One byte over the cap is enough for the parser to refuse it.
    return std::make_unique<ZYMSimpleXMLDocument>(file.read(kMaxDocumentBytes + 1));
}

QByteArray ZYMSimpleXMLDocument::xmlData() const {
    QByteArray out;
    writeContent(out);
    return out;
}
