#include "Visualisation/PrintPolicy.h"

#include "FileProcessor/JobRecords.h"
#include "logging/logog.h"
#include "textutil.h"

// By origin, not by spool path: each extraction of an archive gets a new path, and the same
// archive dropped twice is just the accident the question is for.
bool PrintPolicy::ConfirmRepeatPrint(const JobOrigin& origin, const AskUser& ask) const {
    bool same = !m_LastPrinted.Path.empty() && m_SamePath(m_LastPrinted.Path, origin.Path) &&
                m_SamePath(m_LastPrinted.Member, origin.Member);
    return !same || ask({.Asked = PrintQuestion::PrintAgain});
}

bool PrintPolicy::ConfirmPrinterSuitability(const JobInfo& job, const PrinterEntry& printer, const AskUser& ask) {
    bool allowed = IsSuitablePrinter(PrinterEntry{job.PrinterName, job.PrinterDriverName}, printer) ||
                   AllowedBefore(job, printer) || ask({.Asked = PrintQuestion::UnsuitablePrinter});
    m_LastDecision = SuitabilityDecision{printer.PrinterDriverName, job.PrinterDriverName, allowed};
    return allowed;
}

bool PrintPolicy::AllowedBefore(const JobInfo& job, const PrinterEntry& printer) const {
    return m_LastDecision.Allowed && m_LastDecision.PrinterDriverName == printer.PrinterDriverName &&
           m_LastDecision.JobDriverName == job.PrinterDriverName;
}

bool PrintPolicy::ConfirmDataType(const std::wstring& dataType, const SpoolContents& contents,
                                  const AskUser& ask) const {
    const std::optional<DataTypeMismatch> mismatch = FindDataTypeMismatch(dataType, contents);
    if (!mismatch) return true;
    LOGOG_INFO("The data type \"%s\" does not suit the spool file, which holds %s data",
               LogText(mismatch->DataType).c_str(), mismatch->ContentsName.c_str());
    const std::wstring contentsName(mismatch->ContentsName.begin(), mismatch->ContentsName.end());
    return ask({.Asked = PrintQuestion::DataTypeMismatch, .DataType = mismatch->DataType, .Contents = contentsName});
}

// What the spool file holds decides; the data type only where the contents were not told.
bool IsEmfJob(const std::wstring& dataType, const SpoolContents& contents) {
    if (contents.Kind != SpoolContentKind::Unknown) return contents.Kind == SpoolContentKind::EmfSpool;
    return ToUpperAscii(dataType).starts_with(L"NT EMF");
}

bool OffersRedraw(const PrinterForEmf& printer) {
    return !printer.JobsDriver || printer.RawOnly || printer.JobDataType == DataTypeSupport::NotListed;
}
