// libFuzzer target: the input is read as a whole EMF spool file (checked, and listed without
// the page checks), as one page's EMF, as one EMF record and as a DEVMODE, through the
// reader's public functions. What the reader lists must lie inside the file, and the
// player's second check of a listed page must agree.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "EmfSpool/EmfSpoolReader.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

bool SameCheck(const emf::EmfPageCheck& a, const emf::EmfPageCheck& b) {
    return a.Flags == b.Flags && a.SkippedRecords == b.SkippedRecords && a.ChangedRecords == b.ChangedRecords &&
           a.SkipReasons == b.SkipReasons && a.Header.Bytes == b.Header.Bytes &&
           a.Header.Records == b.Header.Records && a.Header.Handles == b.Header.Handles;
}

void ReadAsSpoolFile(std::span<const std::uint8_t> file) {
    MemorySource source(file);
    emf::EmfSpoolJob job;
    const emf::SpoolRefusal refusal = emf::ReadEmfSpool(source, job);
    const std::string text = emf::DescribeRefusal(refusal);
    Require(!text.empty() && (refusal.Page == 0 || text.rfind("page " + std::to_string(refusal.Page) + ": ", 0) == 0));
    if (refusal.Refused()) return;

    Require(!job.Pages.empty() && job.Pages.size() <= emf::kMaxPages && job.DevModes.size() <= emf::kMaxDevModes);
    std::uint32_t flags = 0;
    for (std::size_t i = 0; i < job.Pages.size(); ++i) {
        const emf::SpoolPage& page = job.Pages[i];
        Require(page.Offset <= file.size() && page.Size <= file.size() - page.Offset);
        Require(page.Size == page.Check.Header.Bytes && page.Check.Header.Records >= 2);
        Require(!page.DevMode || *page.DevMode < job.DevModes.size());
        // Exactly the listed bytes pass the check again, as the player repeats it.
        emf::EmfPageCheck again;
        const auto number = static_cast<std::uint32_t>(i + 1);
        Require(!emf::CheckEmfPage(file.subspan(page.Offset, page.Size), number, page.Offset, again).Refused());
        Require(SameCheck(again, page.Check));
        flags |= page.Check.Flags;
    }
    Require((job.Flags & flags) == flags);
    // The listing without the page checks finds the same pages, their content inside the file.
    emf::EmfSpoolJob listed;
    Require(!emf::ListEmfSpoolPages(source, listed).Refused() && listed.Pages.size() == job.Pages.size());
    for (std::size_t i = 0; i < listed.Pages.size(); ++i)
        Require(listed.Pages[i].Offset == job.Pages[i].Offset && listed.Pages[i].Size >= job.Pages[i].Size &&
                listed.Pages[i].Size <= file.size() - listed.Pages[i].Offset);
    for (const emf::SpoolDevMode& mode : job.DevModes)
        Require(mode.Offset <= file.size() && mode.Size <= file.size() - mode.Offset &&
                std::size_t{mode.Fields.Size} + mode.Fields.DriverExtra <= mode.Size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    ReadAsSpoolFile(input);

    emf::EmfPageCheck check;
    if (!emf::CheckEmfPage(input, 1, 0, check).Refused())
        Require(check.Header.Bytes <= size && check.Header.Records >= 2);

    // A record the player may play lies inside the bytes given; its size frames it.
    emf::RecordCheck records(size > 8 ? input[8] : 0, 0);
    const emf::RecordVerdict verdict = records.Check(input);
    if (verdict.Action != emf::RecordAction::Refuse) {
        Require(size >= 8);
        const std::uint32_t recordSize = input[4] | input[5] << 8 | input[6] << 16 | std::uint32_t{input[7]} << 24;
        Require(recordSize >= 8 && recordSize <= size && recordSize % 4 == 0);
        emf::ClassifyComment(input.first(recordSize));  // reads any record without harm
    }
    Require(emf::RecordReasonText(verdict.Reason) != nullptr);

    if (std::optional<PublicDevMode> mode = ParsePublicDevMode(input))
        Require(mode->Size >= 76 && std::size_t{mode->Size} + mode->DriverExtra <= size && mode->DeviceName.size() <= 32);
    return 0;
}
