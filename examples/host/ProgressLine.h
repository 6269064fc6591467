// How far an apply is, as one line on a terminal that is written over in
// place while the plug-in reports progress. On anything but a terminal (a
// pipe, a file) nothing is written at all, so that output read by programs
// stays as it was.
#ifndef VESK_HOST_PROGRESSLINE_H
#define VESK_HOST_PROGRESSLINE_H

#include <chrono>
#include <cstdio>
#include <string>

/// The line's text, e.g. "12.3 of 24.0 MB (51%), 1520 of 3000 files"; a
/// total of -1 is not known yet and left out.
std::string ProgressText(long long bytesDone, long long bytesTotal, int filesDone, int filesTotal);

class CProgressLine
{
public:
    /// Shows the line on `out` when it is a terminal.
    explicit CProgressLine(std::FILE* out);
    /// Ends the line, when one was shown.
    ~CProgressLine();
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

    /// Writes the line anew, at most about ten times a second (always when
    /// the last file is done).
    void Update(long long bytesDone, long long bytesTotal, int filesDone, int filesTotal);
    /// Ends the line with a newline, when one was shown, so that what the
    /// host prints next starts on a line of its own.
    void End();

private:
    std::FILE* m_out;
    bool m_terminal;
    bool m_shown = false;
    std::size_t m_width = 0; // of the text shown last, to clear what is left of it
    std::chrono::steady_clock::time_point m_last;
};

#endif // VESK_HOST_PROGRESSLINE_H
