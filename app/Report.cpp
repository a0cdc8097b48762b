// The summary line and the progress line.
#include "app/Report.h"

#include "base/Console.h"

namespace {

constexpr std::chrono::milliseconds RedrawInterval(100);

// Appends value in decimal with a comma between groups of three digits, which keeps byte counts readable.
void AppendGrouped(CStringBufferA& text, uint64_t value) {
    char digits[32];
    int length = 0;
    do {
        if (length % 4 == 3)
            digits[length++] = ',';
        digits[length++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    char reversed[32];
    for (int i = 0; i < length; ++i)
        reversed[i] = digits[length - 1 - i];
    text.Append(CStringViewA(reversed, static_cast<uint64_t>(length)));
}

void AppendCount(CStringBufferA& text, uint64_t value, const char* what) {
    AppendGrouped(text, value);
    text.AppendFormat(" %s", what);
}

} // namespace

void AppendSummaryLine(CStringBufferA& text, const CRunCounts& counts) {
    text.AppendFormat("Summary: ");
    AppendGrouped(text, counts.Written);
    text.AppendFormat(" %s (", counts.WrittenLabel);
    AppendCount(text, counts.WrittenBytes, "bytes), ");
    AppendCount(text, counts.KeptExisting, "kept, ");
    AppendCount(text, counts.SkippedByLocale, "by locale, ");
    AppendCount(text, counts.AlreadyNamed, "already named, ");
    AppendCount(text, counts.Unavailable, "unavailable, ");
    AppendCount(text, counts.FilteredOut, "filtered, ");
    AppendCount(text, counts.FailedReads, "failed reads, ");
    AppendCount(text, counts.FailedWrites, "failed writes; ");
    AppendCount(text, counts.LibrariesLoaded, "libraries loaded, ");
    AppendCount(text, counts.LibrariesFailed, "failed; ");
    text.AppendFormat("%.2f s\n", counts.ElapsedSeconds);
}

CRunReport::CRunReport(bool quiet)
    : m_Quiet(quiet), m_ShowProgress(!quiet && IsErrorTerminal()), m_Start(CClock::now()),
      m_LastDrawn(m_Start) {}

double CRunReport::GetElapsedSeconds(CClock::time_point now) const {
    return std::chrono::duration<double>(now - m_Start).count();
}

void CRunReport::Tick() {
    if (!m_ShowProgress)
        return;
    const CClock::time_point now = CClock::now();
    if (now - m_LastDrawn < RedrawInterval)
        return;
    m_LastDrawn = now;
    // Kept well under 80 columns: a line that wraps can no longer be redrawn in place.
    m_Line.Assign("Libraries ");
    AppendGrouped(m_Line, Counts.LibrariesLoaded + Counts.LibrariesFailed);
    m_Line.Append("/");
    AppendCount(m_Line, LibrariesTotal, "done, ");
    AppendCount(m_Line, Counts.Written, "written (");
    AppendCount(m_Line, Counts.WrittenBytes, "bytes), ");
    m_Line.AppendFormat("%.1f s", GetElapsedSeconds(now));
    ShowStatusLine(m_Line.GetData());
}

void CRunReport::Finish() {
    ClearStatusLine();
    Counts.ElapsedSeconds = GetElapsedSeconds(CClock::now());
    if (m_Quiet)
        return;
    m_Line.Assign("");
    AppendSummaryLine(m_Line, Counts);
    PrintError(m_Line.GetData());
}
