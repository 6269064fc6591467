// The host's state file: the updater's configuration text, kept on disk.
//
// Writing never touches the previous file until the new one is complete: the
// text goes to a new file in the same directory, is flushed to the disk, and
// the new file is then renamed over the old one. A crash or a full disk
// therefore leaves either the old state or the new one, never a torn file.
#ifndef VESK_HOST_STATEFILE_H
#define VESK_HOST_STATEFILE_H

#include <string>

class CStateFile
{
public:
    enum ReadResult
    {
        Loaded,  // the text was read
        Missing, // there is no such file
        Failed   // the file exists but could not be read (see the error)
    };

    explicit CStateFile(std::string path);

    const std::string& GetPath() const { return m_path; }

    /// Reads the whole file into `text`. On failure `error` says why.
    ReadResult Read(std::string& text, std::string& error) const;

    /// Replaces the file's content with `text` atomically. On failure the
    /// previous file is left as it was, no temporary file is left behind, and
    /// `error` says why. After a successful write the new files that killed
    /// writes left beside it ("PATH.new-PID" of processes that no longer
    /// run) are removed.
    bool Write(const std::string& text, std::string& error) const;

private:
    std::string m_path;
};

#endif // VESK_HOST_STATEFILE_H
