#include "dms/core/DMURLRequest.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "dms/core/DMSIFTypes.h"

namespace {

bool IsNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || c == '-' || c == '.' || c == ':' || u >= 0x80;
}

constexpr std::array<const char*, 7> kSecretElements = {"Security", "Credentials", "Credential",  "Assertion",
                                                        "Data",     "Password",    "PasswordText"};

bool IsSecretName(const std::string& qname) {
    const auto colon = qname.rfind(':');
    const std::string local = colon == std::string::npos ? qname : qname.substr(colon + 1);
    return std::any_of(kSecretElements.begin(), kSecretElements.end(), [&](const char* s) { return local == s; });
}

// Position of the '>' that ends the tag starting at `open` ('<'), honouring quotes.
std::size_t TagEnd(const std::string& text, std::size_t open) {
    char quote = 0;
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string::npos;
}

}  // namespace

DMURLRequest::DMURLRequest(const std::string& url) : mURL(url) {}

DMURLRequest::~DMURLRequest() = default;

int DMURLRequest::GetStatus() { return 0; }
long DMURLRequest::GetBytesSent() { return 0; }
long DMURLRequest::GetBodyLength() { return static_cast<long>(mBody.size()); }
long DMURLRequest::GetBytesReceived() { return 0; }
long DMURLRequest::GetContentLength() { return 0; }

std::string DMURLRequest::GetHost(bool includePort) const {
    const auto slashes = mURL.find("//");
    if (slashes == std::string::npos || slashes + 1 >= mURL.size() - 1) return {};
    const std::size_t start = slashes + 2;
    std::size_t end = mURL.find_first_of("/?#", start);
    if (end == std::string::npos) end = mURL.size();
    std::string authority = mURL.substr(start, end - start);
    // User information never belongs in a Host header.
    const auto at = authority.rfind('@');
    if (at != std::string::npos) authority.erase(0, at + 1);
    if (!includePort) {
        // An IPv6 literal keeps its brackets; the port follows the closing one.
        std::size_t from = 0;
        if (!authority.empty() && authority[0] == '[') {
            const auto close = authority.find(']');
            from = close == std::string::npos ? authority.size() : close;
        }
        const auto colon = authority.find(':', from);
        if (colon != std::string::npos) authority.erase(colon);
    }
    return authority;
}

std::string DMURLRequest::GetLastPathSegment() const {
    const auto slash = mURL.rfind('/');
    if (slash == std::string::npos || slash + 1 == mURL.size()) return {};
    return mURL.substr(slash);
}

void DMURLRequest::AddHeaders() {
    for (auto it = mHeaders.begin(); it != mHeaders.end();) {
        if (DMStringEqual(it->first, "Content-Length", false) || DMStringEqual(it->first, "Accept-Encoding", false))
            it = mHeaders.erase(it);
        else
            ++it;
    }
    mHeaders["Content-Length"] = std::to_string(mBody.size());
    mHeaders["Accept-Encoding"] = "gzip";
}

double DMURLRequestDefaultDeadline(std::size_t bodyBytes) {
    return 300.0 + static_cast<double>(bodyBytes / (32 * 1024));
}

std::string DMRedactForLog(const std::string& text, std::size_t maxLength) {
    std::string out;
    out.reserve(std::min(text.size(), maxLength ? maxLength : text.size()));
    std::size_t i = 0;
    while (i < text.size()) {
        // Past the cut nothing more is shown: a huge answer is not walked to its end.
        if (maxLength && out.size() > maxLength) break;
        const auto open = text.find('<', i);
        if (open == std::string::npos) {
            out.append(text, i, std::string::npos);
            break;
        }
        out.append(text, i, open - i);
        std::size_t nameEnd = open + 1;
        while (nameEnd < text.size() && IsNameChar(text[nameEnd]))
            ++nameEnd;
        const std::string qname = text.substr(open + 1, nameEnd - open - 1);
        const auto end = TagEnd(text, open);
        if (end == std::string::npos) {
            out.append(text, open, std::string::npos);
            break;
        }
        out.append(text, open, end - open + 1);
        i = end + 1;
        if (qname.empty() || !IsSecretName(qname) || text[end - 1] == '/') continue;
        // Skip to the matching end tag of the same name (same-name nesting counted).
        int depth = 1;
        std::size_t pos = i;
        std::size_t closeStart = std::string::npos;
        while (depth > 0) {
            const auto next = text.find('<', pos);
            if (next == std::string::npos) break;
            const bool closing = next + 1 < text.size() && text[next + 1] == '/';
            const std::size_t nameStart = next + (closing ? 2 : 1);
            std::size_t e = nameStart;
            while (e < text.size() && IsNameChar(text[e]))
                ++e;
            const auto tagEnd = TagEnd(text, next);
            if (tagEnd == std::string::npos) break;
            if (text.compare(nameStart, e - nameStart, qname) == 0 && e - nameStart == qname.size()) {
                if (closing) {
                    if (--depth == 0) closeStart = next;
                } else if (text[tagEnd - 1] != '/') {
                    ++depth;
                }
            }
            pos = tagEnd + 1;
        }
        out += "[redacted]";
        if (closeStart == std::string::npos) {
            i = text.size();
            break;
        }
        i = closeStart;
    }
    if (maxLength && out.size() > maxLength) {
        out.resize(maxLength);
        out += "...[truncated]";
    }
    return out;
}
