#include "params/http_form.h"

#include "params/form_values.h"
#include "params/item_codec.h"

namespace dtu {

namespace f = fields;

namespace {

// The edit shows "\n" between lines; the record keeps the header with "\r\n" line ends, as
// an HTTP request wants them, and its length counts them.
std::string toRecordLines(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

std::string toEditLines(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

// The header as its edit shows it.
ShownText shownHeader(const DeviceParams& p) {
    ShownText t = shownText(p, f::httpHeader);
    t.shown = toEditLines(t.shown);
    return t;
}

}  // namespace

void HttpForm::open(const DeviceParams& p) {
    host = fieldText(p, f::httpHost);
    port = std::to_string(p.get(f::httpPort));
    const int m = p.get(f::httpMethod);
    method = m < static_cast<int>(kHttpMethodEntries.size()) ? m : -1;
    hexToAscii = p.get(f::httpHexToAscii) == 1;
    header = shownHeader(p).shown;
}

std::optional<std::string> HttpForm::accept(DeviceParams& p, Language lang) const {
    // The address may take 127 bytes in the dialog, but its item is read back only below 127.
    const FormText address = formText(shownText(p, f::httpHost), host, sendableBytes(f::httpHost),
                                      {"地址", "Address"}, lang);
    if (!address.refusal.empty()) return address.refusal;
    p.setText(f::httpHost, address.gbk);
    p.set(f::httpPort, static_cast<std::uint16_t>(formNumber(port)));
    if (method >= 0) p.set(f::httpMethod, static_cast<std::uint8_t>(method));

    // An untouched header keeps its line ends as stored, bare "\n" included.
    const ShownText was = shownHeader(p);
    const FormText head = was.editedTo(header)
                              ? formText(toRecordLines(header), sendableBytes(f::httpHeader),
                                         {"HTTP HEADER", "HTTP HEADER"}, lang)
                              : FormText{was.stored, {}};
    if (!head.refusal.empty()) return head.refusal;  // address, port and method stay stored
    p.setText(f::httpHeader, head.gbk);
    p.set(f::httpHexToAscii, hexToAscii ? 1 : 0);
    return std::nullopt;
}

}  // namespace dtu
