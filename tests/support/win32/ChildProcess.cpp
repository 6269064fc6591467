// Child processes on Windows: CreateProcess with standard output on a pipe,
// the exit code for the status, and the stop event (see StopEventName) to ask
// a program to end.
#include "support/ChildProcess.h"

#include <windows.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace testsupport
{

namespace
{

// How long Stop() waits for a program that was asked to end before it kills it.
constexpr DWORD kStopGraceMs = 10000;

// An owned handle, closed when it ends.
class CHandle
{
public:
    CHandle() = default;
    explicit CHandle(HANDLE handle) : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~CHandle() { Reset(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    CHandle(CHandle&& other) noexcept : m_handle(other.m_handle) { other.m_handle = nullptr; }
    CHandle& operator=(CHandle&& other) noexcept
    {
        if (this != &other)
        {
            Reset();
            m_handle = other.m_handle;
            other.m_handle = nullptr;
        }
        return *this;
    }

    HANDLE Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    void Reset()
    {
        if (m_handle != nullptr)
            CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HANDLE m_handle = nullptr;
};

// One argument as the C runtime's command-line parser reads it back:
// quoted when it has blanks or quotes, backslashes doubled before a quote.
void AppendArgument(std::string& line, const std::string& arg)
{
    if (!line.empty())
        line += ' ';
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
    {
        line += arg;
        return;
    }
    line += '"';
    std::string::size_type backslashes = 0;
    for (const char c : arg)
    {
        if (c == '\\')
        {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\'); // before the closing quote
    line += '"';
}

// Where a child's standard error goes.
enum class EErrors
{
    kMerged,  // onto the output pipe
    kFile,    // into a file
    kDiscard, // nowhere
};

CHandle OpenInheritable(const char* path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CHandle(CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                               disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

struct CStarted
{
    CHandle process;
    CHandle stopEvent;
    CHandle out; // the reading end of the output pipe
};

// Starts the program with standard output on a new pipe and standard input
// on the null device. Only the three standard handles are inherited, so
// programs started at the same time by other threads keep no pipe open.
CStarted Spawn(const std::string& program, const std::vector<std::string>& args, EErrors errors,
               const std::string& errorFile)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        throw std::runtime_error("CreatePipe failed");
    CStarted started;
    started.out = CHandle(readEnd);
    CHandle childOut(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    CHandle childIn = OpenInheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    CHandle childErr;
    if (errors == EErrors::kFile)
        childErr = OpenInheritable(errorFile.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
    else if (errors == EErrors::kDiscard)
        childErr = OpenInheritable("NUL", GENERIC_WRITE, OPEN_EXISTING);
    const HANDLE errorHandle = errors == EErrors::kMerged ? childOut.Get() : childErr.Get();
    if (!childIn || !errorHandle)
        throw std::runtime_error("cannot open the standard handles for " + program);

    HANDLE inherited[3] = {childIn.Get(), childOut.Get(), errorHandle};
    const DWORD inheritedCount = errors == EErrors::kMerged ? 2 : 3;
    SIZE_T attributeSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeSize);
    std::vector<char> attributeStorage(attributeSize);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeStorage.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &attributeSize))
        throw std::runtime_error("InitializeProcThreadAttributeList failed");
    UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                              inheritedCount * sizeof(HANDLE), nullptr, nullptr);

    STARTUPINFOEXA startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = childIn.Get();
    startup.StartupInfo.hStdOutput = childOut.Get();
    startup.StartupInfo.hStdError = errorHandle;
    startup.lpAttributeList = attributes;

    std::string line;
    AppendArgument(line, program);
    for (const std::string& arg : args)
        AppendArgument(line, arg);

    // Suspended until its stop event exists, so that no stop can come too early.
    PROCESS_INFORMATION info = {};
    const BOOL created = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                        CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                        &startup.StartupInfo, &info);
    DeleteProcThreadAttributeList(attributes);
    if (!created)
        throw std::runtime_error("cannot start " + program);
    started.process = CHandle(info.hProcess);
    CHandle thread(info.hThread);
    started.stopEvent = CHandle(CreateEventA(nullptr, TRUE, FALSE, StopEventName(info.dwProcessId).c_str()));
    ResumeThread(thread.Get());
    return started;
}

// The exit code, or -1 for a program ended by an exception (an NTSTATUS
// error code) or by TerminateProcess from here.
int ExitStatus(HANDLE process)
{
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code) || code >= 0xC0000000u)
        return -1;
    return static_cast<int>(code);
}

} // namespace

CRunResult RunProgram(const std::string& program, const std::vector<std::string>& args)
{
    CStarted started = Spawn(program, args, EErrors::kMerged, "");
    CRunResult result;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(started.out.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        result.output.append(buffer, got);
    WaitForSingleObject(started.process.Get(), INFINITE);
    result.status = ExitStatus(started.process.Get());
    // Text-mode output ends its lines with CR LF; the tests read lines.
    for (std::string::size_type at = result.output.find("\r\n"); at != std::string::npos;
         at = result.output.find("\r\n", at))
        result.output.erase(at, 1);
    return result;
}

class CBackgroundProgram::CProcess
{
public:
    CStarted started;
    int status = -1;
    bool ended = false;
    std::string pending;

    // Waits for the ended (or ending) process, once.
    int Reap(DWORD waitMs)
    {
        if (ended)
            return status;
        if (WaitForSingleObject(started.process.Get(), waitMs) == WAIT_OBJECT_0)
        {
            status = ExitStatus(started.process.Get());
        }
        else
        {
            TerminateProcess(started.process.Get(), 1);
            WaitForSingleObject(started.process.Get(), INFINITE);
            status = -1;
        }
        ended = true;
        return status;
    }
};

CBackgroundProgram::CBackgroundProgram(const std::string& program, const std::vector<std::string>& args,
                                       const std::string& errorFile)
    : m_process(new CProcess)
{
    m_process->started = Spawn(program, args, errorFile.empty() ? EErrors::kDiscard : EErrors::kFile, errorFile);
}

CBackgroundProgram::~CBackgroundProgram()
{
    Stop();
}

bool CBackgroundProgram::ReadLine(std::string& line, int seconds)
{
    // Anonymous pipes have no waiting with a time-out: look, then nap.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    std::string& pending = m_process->pending;
    const HANDLE out = m_process->started.out.Get();
    for (;;)
    {
        const std::string::size_type newline = pending.find('\n');
        if (newline != std::string::npos)
        {
            line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        DWORD available = 0;
        if (!PeekNamedPipe(out, nullptr, 0, nullptr, &available, nullptr))
            return false; // the program ended and everything was read
        if (available == 0)
        {
            if (Clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        char buffer[1024];
        DWORD got = 0;
        if (!ReadFile(out, buffer, available < sizeof buffer ? available : sizeof buffer, &got, nullptr) || got == 0)
            return false;
        pending.append(buffer, got);
    }
}

int CBackgroundProgram::Stop()
{
    if (!m_process->ended && m_process->started.stopEvent)
        SetEvent(m_process->started.stopEvent.Get());
    return m_process->Reap(kStopGraceMs);
}

int CBackgroundProgram::Wait()
{
    return m_process->Reap(INFINITE);
}

unsigned long CBackgroundProgram::ProcessId() const
{
    return m_process->ended ? 0 : GetProcessId(m_process->started.process.Get());
}

} // namespace testsupport
