// The production folder's files are outside bytes: the model list, the logo text and the label
// templates, the history file, and whatever reaches the print service. The input's first bytes
// pick the print options and where the logo text and the template end; the rest is the model
// list and the history. A print must be refused whole or give datagrams that each fit, in
// their order; the history scan must not depend on how the file is read in pieces; the print
// service must pass on every byte it takes, exactly once.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "production/history.h"
#include "production/label.h"
#include "production/model_list.h"
#include "production/print_job.h"
#include "production/registration.h"

namespace {

using View = std::span<const std::uint8_t>;

void check(bool ok) {
    if (!ok) std::abort();
}

std::size_t take(View& in, std::size_t bytes) {
    std::size_t v = 0;
    for (std::size_t i = 0; i < bytes && !in.empty(); ++i) {
        v = v << 8 | in[0];
        in = in.subspan(1);
    }
    return v;
}

View cut(View& in, std::size_t length) {
    length = std::min(length, in.size());
    const View part = in.first(length);
    in = in.subspan(length);
    return part;
}

bool startsWith(const std::string& s, std::string_view head) {
    return s.compare(0, head.size(), head) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    View in(data, size);
    const std::size_t flags = take(in, 1);
    const View logoText = cut(in, take(in, 2));
    const View labelTemplate = cut(in, take(in, 2));
    const View rest = in;

    // The model list: never beyond its limit, no name holds the CR that ended it.
    const auto models = dtu::parseModelList(rest);
    std::size_t used = 0;
    for (const auto& m : models) {
        check(m.find('\r') == std::string::npos);
        used += m.size() + 1;
    }
    check(used <= dtu::kModelFileLimit);

    dtu::LabelRequest request;
    std::copy_n(rest.begin(), std::min<std::size_t>(6, rest.size()), request.mac.begin());
    request.model = models.empty() ? std::string("M") : models.front();
    request.imei = "861234567890123";
    request.version = "V1";
    request.withLogo = (flags & 1) != 0;

    const auto logo = dtu::decodeLogo(logoText);
    if (logo) check(logo->size() <= logoText.size() / 2 + 1);
    const auto filled = dtu::fillTemplate(labelTemplate, request);
    if (filled) check(filled->size() <= dtu::kDatagramLimit);

    dtu::LabelFiles files;
    if (flags & 2) files.logoText.emplace(logoText.begin(), logoText.end());
    if (flags & 4) files.labelTemplate.emplace(labelTemplate.begin(), labelTemplate.end());
    const dtu::LabelPlan plan = dtu::planLabel(request, files);
    if (plan.refusal == dtu::LabelRefusal::None) {
        check(plan.datagrams.size() == 2 || plan.datagrams.size() == 3);
        check(plan.datagrams[0] == dtu::printerSetup());
        check(startsWith(plan.datagrams[1], "DOWNLOAD \"LOGO.PCX\","));
        check(!plan.logo.empty() && plan.logo == *logo);
        for (const auto& d : plan.datagrams) check(d.size() <= dtu::kDatagramLimit);
    } else {
        check(plan.datagrams.empty() && plan.logo.empty());
        check(!dtu::labelRefusalText(plan, request.withLogo, dtu::Language::English).empty());
    }

    // The history scan gives the same answer whole and in pieces of the flags' size.
    const std::string key = dtu::historyKey(request);
    dtu::HistoryScan whole(key);
    whole.feed(rest);
    dtu::HistoryScan pieces(key);
    const std::size_t piece = 1 + (flags >> 3);
    for (std::size_t at = 0; at < rest.size(); at += piece)
        pieces.feed(rest.subspan(at, std::min(piece, rest.size() - at)));
    check(whole.lines() == pieces.lines() && whole.duplicate() == pieces.duplicate() &&
          whole.endsMidLine() == pieces.endsMidLine());
    // A key holds no line end (unless the model does), so it is found anywhere in the text.
    const std::string text(rest.begin(), rest.end());
    if (key.find('\n') == std::string::npos)
        check(whole.duplicate() == (text.find(key) != std::string::npos));
    else
        check(!whole.duplicate());

    // The print service: the three parts as datagrams of two senders; every byte comes out.
    dtu::JobAssembler jobs;
    std::size_t inBytes = 0;
    std::size_t outBytes = 0;
    const View parts[] = {logoText, labelTemplate, rest};
    std::int64_t now = 0;
    for (const View& p : parts) {
        if (dtu::classifyDatagram(p) == dtu::DatagramKind::Probe) continue;
        inBytes += p.size();
        now += static_cast<std::int64_t>(flags) * 16;
        for (const auto& j : jobs.onTime(now)) outBytes += j.bytes.size();
        for (const auto& j : jobs.onDatagram((flags & 8) ? "a" : "b", p, now))
            outBytes += j.bytes.size();
        for (const auto& j : jobs.onDatagram("c", p.first(p.size() / 2), now))
            outBytes += j.bytes.size();
        inBytes += p.size() / 2;
    }
    for (const auto& j : jobs.flush()) outBytes += j.bytes.size();
    check(inBytes == outBytes);

    dtu::readRegistrationAnswer(rest);
    return 0;
}
