// The simple XML tree: whatever parses writes out, parses again to the same tree, and
// writes the same bytes again.

#include "app/support/ZYMSimpleXMLDocument.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

bool sameTree(const ZYMSimpleXMLElement& a, const ZYMSimpleXMLElement& b) {
    if (a.tag() != b.tag() || a.text() != b.text() || a.attributeOrder() != b.attributeOrder() ||
        a.attributes() != b.attributes() || a.children().size() != b.children().size())
        return false;
    for (size_t i = 0; i < a.children().size(); ++i) {
        if (!sameTree(*a.children()[i], *b.children()[i])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ZYMSimpleXMLDocument first(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    const QByteArray written = first.xmlData();
    const ZYMSimpleXMLDocument second(written);
    if (!sameTree(first, second) || second.xmlData() != written) {
        fprintf(stderr, "written:  %s\nrewritten: %s\n%s\n%s\n", written.constData(), second.xmlData().constData(),
                qPrintable(first.description()), qPrintable(second.description()));
        abort();
    }
    (void)first.description();
    return 0;
}
