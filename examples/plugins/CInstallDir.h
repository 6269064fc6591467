// The host's install directory as the sample plug-ins write and read it: the
// directory is opened once, and every file below it is reached from that
// handle one component at a time. A symbolic link met on the way (on Windows
// any reparse point: symbolic links, junctions, mount points) is refused,
// never followed, so a link planted inside the directory cannot make a
// plug-in write or read outside it. posix/ and win32/ hold the two
// implementations; CMake compiles exactly one of them.
//
// Names are relative to the directory, with '/' or '\' between components,
// and follow SplitInstallName's rules; any other name is refused.
//
// Every const operation may be called from several threads at once.
#ifndef VESKPLUGINS_CINSTALLDIR_H
#define VESKPLUGINS_CINSTALLDIR_H

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CInstallDir
{
public:
    CInstallDir();
    ~CInstallDir();
    CInstallDir(const CInstallDir&) = delete;
    CInstallDir& operator=(const CInstallDir&) = delete;
    CInstallDir(CInstallDir&&) noexcept;
    CInstallDir& operator=(CInstallDir&&) noexcept;

    /// Opens the existing directory `directory`. A link naming the directory
    /// itself is the host's choice and is followed; nothing below it is.
    bool Open(const std::string& directory, std::string& error);

    bool IsOpen() const;

    /// Creates the folders on the way to the file `name` that are missing.
    /// Fails when one of them is a link or not a folder.
    bool CreateParents(const std::string& name, std::string& error) const;

    /// Creates a new, empty file in the folder of `name` (which must exist),
    /// under an unpredictable name ending in ".part", exclusively: nothing
    /// that is already there, a planted link included, is opened. Returns it
    /// opened for binary writing and its name, relative to the directory, in
    /// `temp`; null on failure. The caller closes it before Rename or Remove.
    std::FILE* CreateTemp(const std::string& name, std::string& temp, std::string& error) const;

    /// Opens the file that keeps what an interrupted download of `name` has
    /// fetched so far, creating it empty when there is none. It lies in the
    /// folder of `name` (which must exist) as ".vesk-KEY.partial": `key`, 1
    /// to 64 lower-case hex digits, names what is downloaded, so that a later
    /// run finds the same file again. Returns it opened for binary reading
    /// and writing, with its size in `kept` and its name, relative to the
    /// directory, in `partial`; null on failure. Refused, never opened
    /// through: a link, anything but a regular file, a file with other hard
    /// links and, on POSIX, one that another user owns. Rename and Remove
    /// take it like a file from CreateTemp.
    std::FILE* OpenPartial(const std::string& name, const std::string& key, std::string& partial, long long& kept,
                           std::string& error) const;

    /// Removes the file `name` (a link there is removed itself). Best
    /// effort: for leftovers such as a temporary file that failed.
    void Remove(const std::string& name) const;

    /// Opens the regular file `name` for binary reading. Null when it is
    /// missing, is not a regular file, is a link or lies behind one; `error`
    /// says which.
    std::FILE* OpenRead(const std::string& name, std::string& error) const;

    /// The bytes this user may still write on the directory's volume.
    bool FreeBytes(unsigned long long& bytes, std::string& error) const;

    /// What a name is, looked at as itself (a link is never followed).
    enum class EKind
    {
        Missing,
        File,   ///< a regular file
        Folder, ///< a plain folder
        Other,  ///< a link, a reparse point, a device, a FIFO...
    };

    /// What `name` is; Missing as well when a folder on the way to it is
    /// missing. False, with `error`, when a folder on the way is a link or
    /// it cannot be looked at.
    bool Lookup(const std::string& name, EKind& kind, std::string& error) const;

    /// Renames the file `from` to `to`, both anywhere in the directory, whose
    /// folders must exist, replacing a file at `to`. Neither a link at `from`
    /// nor a folder is moved, and no link on the way to either is followed.
    bool Rename(const std::string& from, const std::string& to, std::string& error) const;

    /// Creates the folder `name` and the missing ones on the way to it; true
    /// when it is there as a plain folder.
    bool CreateFolder(const std::string& name, std::string& error) const;

    /// Removes the folder `name` when it is empty. False when it is not
    /// there, not empty or not a plain folder.
    bool RemoveFolder(const std::string& name) const;

    /// The entries of the folder `name` (without "." and ".."), each with
    /// its kind as Lookup says it.
    bool List(const std::string& name, std::vector<std::pair<std::string, EKind>>& entries, std::string& error) const;

    /// Makes what was written to the file `name` durable (fsync).
    bool SyncFile(const std::string& name, std::string& error) const;

    /// Makes what was written to the files `names` durable. On Linux that is
    /// one syncfs of the directory's volume, far cheaper than an fsync per
    /// file once there are more than a few; elsewhere each file in turn.
    bool SyncFiles(const std::vector<std::string>& names, std::string& error) const;

    /// Makes the entries of the folder `name` durable (fsync of the folder
    /// on POSIX; on Windows the volume's own journal does it and this only
    /// checks the folder). An empty `name` is the directory itself.
    bool SyncFolder(const std::string& name, std::string& error) const;

private:
    struct CNative;
    std::unique_ptr<CNative> m_native;
};

#endif // VESKPLUGINS_CINSTALLDIR_H
