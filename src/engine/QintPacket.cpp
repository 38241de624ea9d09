#include "engine/QintPacket.h"

#include <cstring>
#include <string_view>

#include "runtime/LogMessage.h"

namespace Amp::Qint {

Classification ClassifyPacket(uint16_t classAndType) {
    const unsigned cls = PacketClass(classAndType);
    const unsigned type = PacketType(classAndType);
    switch (cls) {
    case 2: return {};
    case 3:
    case 4:
    case 5:
    case 6: return {Kind::Metadata, 0};
    case 7:
        if (type == 0 || type == 1) return {Kind::Audio, kCodecMP3};
        LogMessage(0, "Unhandled MP3 packet type 0x%X\n", type);
        return {};
    case 8:
        if (type == 0 || type == 1) return {Kind::Audio, kCodecVLB};
        if (type == 3) return {Kind::Audio, kCodecAACPlus};
        LogMessage(0, "Unhandled AAC packet type 0x%X\n", type);
        return {};
    default: LogMessage(0, "Unknown packet. Class 0x%X, type 0x%X\n", cls, type); return {};
    }
}

static void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\'': out += "&apos;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
}

bool TitleToXml(const char* data, size_t length, std::string& xml) {
    static constexpr std::string_view kPrefix = "StreamTitle='";
    const std::string_view text(data, length);
    if (text.substr(0, kPrefix.size()) != kPrefix) return false;
    const std::string_view rest = text.substr(kPrefix.size());
    const size_t dash = rest.find(" - ");
    const size_t end = dash == std::string_view::npos ? dash : rest.find("';", dash + 3);
    if (end == std::string_view::npos) {
        xml = "<metadata></metadata>";
        return true;
    }
    xml = "<metadata><song><name>";
    AppendEscaped(xml, rest.substr(dash + 3, end - dash - 3));
    xml += "</name><artist>";
    AppendEscaped(xml, rest.substr(0, dash));
    xml += "</artist></song></metadata>";
    return true;
}

}  // namespace Amp::Qint
