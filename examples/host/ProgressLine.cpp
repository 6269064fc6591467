#include "ProgressLine.h"

#if defined(_WIN32)
#  include <io.h>
#  define VESK_ISATTY(fd) _isatty(fd)
#  define VESK_FILENO(f) _fileno(f)
#else
#  include <unistd.h>
#  define VESK_ISATTY(fd) isatty(fd)
#  define VESK_FILENO(f) fileno(f)
#endif

namespace
{

std::string Megabytes(long long bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e6);
    return text;
}

} // namespace

std::string ProgressText(long long bytesDone, long long bytesTotal, int filesDone, int filesTotal)
{
    std::string text = Megabytes(bytesDone);
    if (bytesTotal >= 0)
    {
        text += " of " + Megabytes(bytesTotal) + " MB";
        if (bytesTotal > 0)
            text += " (" + std::to_string(bytesDone * 100 / bytesTotal) + "%)";
    }
    else
        text += " MB";
    text += ", " + std::to_string(filesDone);
    if (filesTotal >= 0)
        text += " of " + std::to_string(filesTotal);
    return text + (filesTotal == 1 ? " file" : " files");
}

CProgressLine::CProgressLine(std::FILE* out)
    : m_out(out), m_terminal(out != nullptr && VESK_ISATTY(VESK_FILENO(out)) != 0)
{
}

CProgressLine::~CProgressLine()
{
    End();
}

void CProgressLine::Update(long long bytesDone, long long bytesTotal, int filesDone, int filesTotal)
{
    if (!m_terminal)
        return;
    const auto now = std::chrono::steady_clock::now();
    const bool last = filesTotal >= 0 && filesDone >= filesTotal;
    if (m_shown && !last && now - m_last < std::chrono::milliseconds(100))
        return;
    m_last = now;
    std::string text = ProgressText(bytesDone, bytesTotal, filesDone, filesTotal);
    const std::size_t width = text.size();
    if (width < m_width)
        text.append(m_width - width, ' ');
    m_width = width;
    std::fprintf(m_out, "\r%s", text.c_str());
    std::fflush(m_out);
    m_shown = true;
}

void CProgressLine::End()
{
    if (!m_shown)
        return;
    std::fputc('\n', m_out);
    std::fflush(m_out);
    m_shown = false;
    m_width = 0;
}
