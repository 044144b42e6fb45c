// The EMF spool reader on spool files built here: good files, and one of each damage and of
// each content a redraw cannot reproduce. Runs on the host (sanitizers) and under Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "EmfSpool/EmfSpoolReader.h"
#include "EmfSpoolBuilder.h"
#include "HostileEmfPages.h"
#include "ProgressWatcher.h"

using namespace emfbuild;
using emf::RecordReason;
using emf::SpoolProblem;

namespace {

constexpr std::uint32_t kEmfPlus = 0x2B464D45;

// A 4 x 4 24-bit image with bitsSize bytes of rows (48 needed).
Bytes StretchDib(std::uint32_t bitsSize) {
    Bytes record = Rec(81, {0, 0, 3, 3, 0, 0, 0, 0, 4, 4, 80, 40, 120, bitsSize, 0, 0xCC0020, 4, 4,
                            40, 4, 4, 24u << 16 | 1, 0, 0, 0, 0, 0, 0});
    record.resize(record.size() + bitsSize);
    return Set(record, 4, static_cast<std::uint32_t>(record.size()));
}

Bytes WithoutEof() {
    Bytes emf = Emf();
    emf.resize(emf.size() - 20);
    return Set(Set(emf, 48, static_cast<std::uint32_t>(emf.size())), 52, 3);
}

template <typename Build>
Bytes Made(Build build) {
    Spool spool;
    build(spool);
    return spool.File;
}

struct Case {
    const char* Name;
    Bytes File;
    SpoolProblem Problem = SpoolProblem::None;
    std::uint32_t Page = 0;                          // of the refusal
    RecordReason Reason = RecordReason::None;        // of a refused EMF record
    const char* Shape = "-";                         // per page: its DEVMODE's index, '-' none
    std::uint32_t Flags = 0;
    std::uint32_t Skipped = 0;
    std::uint64_t Reasons = 0;                       // of the skipped records
    std::uint32_t Monochrome = 0;                    // bit n: page n + 1
    bool CutShort = false;
    const char* Text = nullptr;
};

Case Good(const char* name, Bytes file, const char* shape = "-", std::uint32_t flags = 0, std::uint32_t skipped = 0,
          std::initializer_list<RecordReason> reasons = {}, std::uint32_t monochrome = 0, bool cutShort = false) {
    std::uint64_t mask = 0;
    for (RecordReason reason : reasons) mask |= std::uint64_t{1} << static_cast<unsigned>(reason);
    return {name, std::move(file), SpoolProblem::None, 0, RecordReason::None, shape, flags, skipped, mask, monochrome, cutShort};
}

// Counts the reads of the source, and fails those that reach byte failFrom.
struct CountedSource final : ByteSource {
    CountedSource(const Bytes& bytes, std::uint64_t from) : memory(bytes), failFrom(from) {}
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count, std::size_t* got) override {
        return ++reads, offset + count <= failFrom && memory.ReadAt(offset, buffer, count, got);
    }
    std::uint64_t Size() override { return memory.Size(); }
    MemorySource memory;
    std::uint64_t failFrom;
    int reads = 0;
};

Case Bad(const char* name, Bytes file, SpoolProblem problem, std::uint32_t page = 0,
         RecordReason reason = RecordReason::None, const char* text = nullptr) {
    return {name, std::move(file), problem, page, reason, "", 0, 0, 0, 0, false, text};
}

}  // namespace

TEST(EmfSpoolReader, ListsGoodFilesAndRefusesEachDamage) {
    using namespace emf;
    const Case cases[] = {
        Good("one page", Spool().Page().File),
        Good("three pages, the second black-and-white", Spool().Page().Page(Emf(), 14).Page().File, "---", 0, 0, {}, 0b010),
        Good("a DEVMODE before the only page", Spool().Raw(3, DevMode()).Page().File, "0"),
        Good("a DEVMODE inside page 1's pair governs the later pages",
             Made([](Spool& s) { std::size_t c = s.Content(Emf()); s.Raw(3, DevMode()).PageAt(c).Page().Page(); }), "-00"),
        Good("the last page has no offset record yet", Made([](Spool& s) { s.Page().Content(Emf()); }), "--", 0, 0, {}, 0, true),
        Good("an image whose rows fit its bits", Spool().Page(Emf({StretchDib(48)})).File),
        Good("a stock colour space, skipped as colour management costs nothing",
             Spool().Page(Emf({Rec(100, {0x80000014})})).File, "-", 0, 1, {RecordReason::ColourManagement}),
        Good("an object index past the table; a stock object plays",
             Spool().Page(Emf({Rec(37, {0x80000000}), Rec(37, {2})})).File, "-", kSkippedRecords, 1,
             {RecordReason::HandleOutOfRange}),
        Good("a subset font", Spool().Raw(7, Bytes(16)).Page().File, "-", kEmbeddedFonts),
        Good("fonts inside a page", Spool().Page(Emf({Rec(70, {8, 0, 0x544F4E46})})).File, "-", kEmbeddedFonts, 1,
             {RecordReason::Comment}),
        Good("PostScript job data", Spool().Raw(20, Bytes(8)).Page().File, "-", kPostScript),
        Good("a PostScript injection", Spool().Page(Emf({Rec(106, {4118, 4, 0x0A252125})})).File, "-", kPostScript, 1,
             {RecordReason::PostScriptEscape}),
        Good("a private escape; a query is skipped unflagged",
             Spool().Page(Emf({Rec(106, {150, 0}), Rec(106, {20, 0})})).File, "-", kDriverEscapes, 2,
             {RecordReason::DriverEscape, RecordReason::QueryEscape}),
        Good("an EMF+ only page", Spool().Page(Emf({Rec(70, {32, kEmfPlus, 0x4001, 28, 16, 0xDBC01002, 0, 96, 96})})).File,
             "-", kEmfPlusOnly, 1, {RecordReason::Comment}),
        Good("an EMF+ dual page", Spool().Page(Emf({Rec(70, {32, kEmfPlus, 0x14001, 28, 16, 0xDBC01002, 0, 96, 96})})).File,
             "-", 0, 1, {RecordReason::Comment}),

        Bad("a truncated header", Bytes(12, 0), SpoolProblem::HeaderTruncated),
        Bad("another version", Spool(0x20000).Page().File, SpoolProblem::HeaderVersion),
        Bad("a header past the file", Set(Spool().File, 4, 4096), SpoolProblem::HeaderSize),
        Bad("a header size not a multiple of 4", Set(Spool().Page().File, 4, 30), SpoolProblem::HeaderSize),
        Bad("a record size that would wrap", Spool().Raw(12, {}, 0xFFFFFFF0).File, SpoolProblem::RecordOverrun, 0,
            RecordReason::None, "record at offset 32 runs past the end of the file"),
        Bad("a record size not a multiple of 4", Spool().Raw(3, Bytes(6)).Page().File, SpoolProblem::RecordMisaligned),
        Bad("a record header cut short", Made([](Spool& s) { s.Page().File.resize(s.File.size() + 4); }),
            SpoolProblem::RecordTruncated),
        Bad("an unknown record", Spool().Raw(22, {}).Page().File, SpoolProblem::RecordUnknown),
        Bad("a page offset before byte 0", Spool().Offset(1000).File, SpoolProblem::PageOffsetInvalid),
        Bad("a page offset at no content start", Made([](Spool& s) { s.PageAt(s.Content(Emf()) + 8); }),
            SpoolProblem::PageOffsetInvalid),
        Bad("a page named twice", Made([](Spool& s) { std::size_t c = s.Content(Emf()); s.PageAt(c).PageAt(c); }),
            SpoolProblem::PageOffsetDuplicate),
        Bad("a page without offset record before a listed one", Made([](Spool& s) { s.Content(Emf()), s.Page(); }),
            SpoolProblem::PageWithoutOffset),
        Bad("a short page offset record", Spool().Page().Raw(13, Bytes(4)).File, SpoolProblem::RecordTooShort),
        Bad("DEVMODE sizes past the record", Spool().Raw(3, Set(DevMode(), 70, 900, 2)).Page().File,
            SpoolProblem::DevModeInvalid),
        Bad("too many pages", Made([](Spool& s) { for (std::size_t i = 0; i <= kMaxPages; ++i) s.Raw(12, {}); }),
            SpoolProblem::TooManyPages),
        Bad("no page", Spool().File, SpoolProblem::NoPages),
        Bad("an EMF header without signature", Spool().Page(Set(Emf(), 40, 0)).File, SpoolProblem::EmfHeaderInvalid, 1),
        Bad("an EMF longer than its record", Spool().Page(Set(Emf(), 48, 4096)).File, SpoolProblem::EmfHeaderSizes, 1),
        Bad("a description of 2^30 characters", Spool().Page(Set(Set(Emf(), 60, 1u << 30), 64, 108)).File,
            SpoolProblem::EmfHeaderSizes, 1),
        Bad("an empty frame", Spool().Page(Set(Emf(), 32, 0)).File, SpoolProblem::EmfHeaderFrame, 1),
        Bad("an EMF record past its page", Spool().Page().Page(Set(Emf(), 112, 256)).File, SpoolProblem::EmfRecordOverrun,
            2, RecordReason::BadFrame, "page 2: EMF record at offset 356 runs past the page"),
        Bad("an EMF record size not a multiple of 4", Spool().Page(Set(Emf(), 112, 18)).File, SpoolProblem::EmfRecordSize, 1,
            RecordReason::BadFrame),
        Bad("an EMF without EMR_EOF", Spool().Page(WithoutEof()).File, SpoolProblem::EmfMissingEof, 1),
        Bad("an EMR_EOF before the last record", Spool().Page(Emf({Rec(14, {0, 16, 20})})).File, SpoolProblem::EmfEofEarly, 1,
            RecordReason::AfterEof),
        Bad("a wrong record count", Spool().Page(Set(Emf(), 52, 9)).File, SpoolProblem::EmfRecordCount, 1),
        Bad("a polyline of 2^29 points", Spool().Page(Emf({Rec(4, {0, 0, 0, 0, 1u << 29})})).File,
            SpoolProblem::EmfRecordRefused, 1, RecordReason::PartPastRecord),
        Bad("an image with fewer bits than rows", Spool().Page(Emf({StretchDib(16)})).File, SpoolProblem::EmfRecordRefused,
            1, RecordReason::PartPastRecord),
        Bad("an object selection without its index", Spool().Page(Emf({Rec(37)})).File, SpoolProblem::EmfRecordRefused, 1,
            RecordReason::TooShort),
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        MemorySource source(c.File);
        EmfSpoolJob job;
        const SpoolRefusal refusal = ReadEmfSpool(source, job);
        EXPECT_EQ(refusal.Problem, c.Problem) << DescribeRefusal(refusal);
        EXPECT_EQ(refusal.Page, c.Page);
        EXPECT_EQ(refusal.Record, c.Reason);
        if (c.Text) {
            EXPECT_EQ(DescribeRefusal(refusal), c.Text);
        }
        if (refusal.Refused()) continue;
        EXPECT_EQ(job.DocumentName, u"Report");
        EXPECT_EQ(job.Flags, c.Flags);
        EXPECT_EQ(job.CutShort, c.CutShort);
        ASSERT_EQ(job.Pages.size(), std::strlen(c.Shape));
        std::uint32_t skipped = 0;
        std::uint64_t reasons = 0;
        for (std::size_t i = 0; i < job.Pages.size(); ++i) {
            const SpoolPage& page = job.Pages[i];
            // The listed bytes are the page's whole EMF: its header's type and length.
            ASSERT_LE(page.Offset + page.Size, c.File.size());
            EXPECT_EQ(c.File[page.Offset], 1);
            EXPECT_EQ(page.Size, c.File[page.Offset + 48] | c.File[page.Offset + 49] << 8);
            EXPECT_EQ(page.Check.Header.Frame.Right, 20999);
            EXPECT_EQ(page.DevMode ? char('0' + *page.DevMode) : '-', c.Shape[i]);
            EXPECT_EQ(page.Monochrome, (c.Monochrome >> i & 1) != 0);
            skipped += page.Check.SkippedRecords;
            reasons |= page.Check.SkipReasons;
        }
        EXPECT_EQ(skipped, c.Skipped);
        EXPECT_EQ(reasons, c.Reasons);
        for (const SpoolDevMode& mode : job.DevModes) {
            EXPECT_EQ(mode.Fields.DeviceName, u"Office Laser");
            EXPECT_EQ(mode.Fields.Orientation, 2);
            EXPECT_EQ(mode.Fields.PaperSize, 9);
            EXPECT_EQ(mode.Fields.Copies, 3);
            EXPECT_EQ(mode.Fields.Collate, 1);
            EXPECT_FALSE(mode.Fields.Duplex || mode.Fields.FormName) << "their dmFields bits are clear";
        }
    }
}

TEST(EmfSpoolReader, JudgesEachHostileRecordAsThePlayerReadsIt) {
    using namespace emf;
    // Fields of the copy played instead: the string moved behind the inserted rectangle, no
    // ETO_NO_RECT; ETO_IGNORELANGUAGE; no spacing array; an empty INTERSECTCLIPRECT; wide characters.
    const std::map<RecordReason, std::vector<std::pair<std::size_t, std::uint32_t>>> rewritten = {
        {RecordReason::TextWithoutRectangle, {{4, 88}, {48, 76}, {52, 0}, {56, 0}, {72, 80}, {76, 'H' | 'i' << 16}}},
        {RecordReason::TextShaping, {{52, 0x1000}, {72, 80}}},
        {RecordReason::TextMultiByte, {{52, 0}, {72, 0}}},
        {RecordReason::EmptyClipRegion, {{0, 30}, {4, 24}, {8, 0}, {20, 0}}},
        {RecordReason::SmallText, {{0, 84}, {4, 80}, {36, 10}, {44, 2}, {48, 76}, {52, 0}, {72, 0}, {76, 'H' | 'i' << 16}}}};
    for (const hostile::Row& row : hostile::Rows()) {
        SCOPED_TRACE(row.Name);
        const Bytes file = Spool().Page(row.Page).File;
        MemorySource source(file);
        EmfSpoolJob job;
        const SpoolRefusal refusal = ReadEmfSpool(source, job);
        EXPECT_EQ(refusal.Refused(), row.Action == RecordAction::Refuse) << DescribeRefusal(refusal);
        EXPECT_EQ(refusal.Record, row.Action == RecordAction::Refuse ? row.Reason : RecordReason::None);
        if (refusal.Refused()) continue;
        const EmfPageCheck& check = job.Pages.at(0).Check;
        EXPECT_EQ(check.SkippedRecords, row.Action == RecordAction::Skip ? 1u : 0u);
        EXPECT_EQ(check.ChangedRecords, row.Action == RecordAction::Rewrite ? 1u : 0u);
        EXPECT_EQ(check.SkipReasons, row.Reason == RecordReason::None ? 0 : std::uint64_t{1} << static_cast<unsigned>(row.Reason));
        if (row.Action != RecordAction::Rewrite) continue;
        RecordCheck records(2, 0);  // the hostile record is the page's second
        const std::span<const std::uint8_t> page(row.Page);
        EXPECT_EQ(records.Check(page).Action, RecordAction::Play);
        ASSERT_EQ(records.Check(page.subspan(page[4])).Action, RecordAction::Rewrite);
        const Bytes played(records.Replacement().begin(), records.Replacement().end());
        for (auto [at, value] : rewritten.at(row.Reason)) EXPECT_EQ(Set(played, at, value), played) << "at " << at;
    }
}

// A file of many small records, a DEVMODE, a page and a last page without its offset record
// (still spooling): the walk reads it in blocks that end inside records, not once per record,
// tells its watcher the bytes it has passed and stops when told; bytes read ahead that the
// source cannot give fail only a record that needs them, and cost no read per record either.
TEST(EmfSpoolReader, WalksRecordsInBlocksWatchedAndStoppable) {
    Spool many;
    for (int i = 0; i < 200000; ++i) many.Raw(5, Bytes(12));  // 4 MB
    const std::uint64_t lastPage = many.Raw(3, DevMode()).Page().Content(Emf()), size = many.File.size();
    // Offset: of the refusal, to a few records.
    const struct { const char* Name; int StopAt; std::uint64_t FailFrom; SpoolProblem Problem; std::uint64_t Offset; }
        rows[] = {
            {"read to the end", -1, UINT64_MAX, SpoolProblem::None, 0},
            {"stopped at the second step", 2, UINT64_MAX, SpoolProblem::Cancelled, 2u << 20},
            {"an unreadable last page, passed over", -1, size - 8, SpoolProblem::None, 0},
            {"an unreadable page offset", -1, lastPage - 4, SpoolProblem::ReadFailed, lastPage - 16},
        };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        CountedSource source(many.File, row.FailFrom);
        WatchedCopy watcher(row.StopAt);
        emf::EmfSpoolJob job;
        const emf::SpoolRefusal refusal = emf::ListEmfSpoolPages(source, job, &watcher);
        EXPECT_EQ(refusal.Problem, row.Problem);
        EXPECT_LT(refusal.Offset - row.Offset, 64u);
        EXPECT_LT(source.reads, 100);
        EXPECT_EQ(watcher.done == size && watcher.total == size, !refusal.Refused());
        EXPECT_EQ(job.Pages.size() == 2 && job.Pages[1].DevMode == 0u, !refusal.Refused());
    }
}
