// Where the runtime settings file lies (below ProgramData) any standard user can create the
// folders first and put a link in the place of a folder or of the file itself; read, written or
// deleted by name, the file would then be another one of the machine. The install configuration
// reads, writes and deletes that file only after a SettingsFilePlace has checked its path. The
// launcher supplies the checks of its system; without one (the host's programs) the store's own
// calls run unchecked.
#pragma once

#include <string>

class SettingsFilePlace {
  public:
    virtual ~SettingsFilePlace() = default;
    // Before the file at `utf8Path` is read: false when a folder on its path or the file is a
    // link to another file or folder (logged with the path and where it leads). A missing file,
    // or a link that leads nowhere, is left to the read, which finds no file.
    virtual bool mayRead(const std::string& utf8Path) = 0;
    // After a read found no file it could open at `utf8Path`: true only when nothing of that
    // name is there (a link that leads nowhere counts as nothing), false for an entry that is
    // there but could not be opened (locked, access denied) or whose presence cannot be told.
    virtual bool isAbsent(const std::string& utf8Path) = 0;
    // Before the file at `utf8Path` is written or replaced, or deleted: the folders above it are
    // created where missing and kept from being replaced, and neither they nor an entry of that
    // name may be a link (a link that leads nowhere included). False, logged, when one is.
    virtual bool beforeWriting(const std::string& utf8Path) = 0;
    // Deletes the file at `utf8Path` through a handle whose place was checked. True when it is
    // gone or was not there.
    virtual bool remove(const std::string& utf8Path) = 0;
    // Deletes the temporary files that runs ended before they finished (killed, or the machine
    // stopped) left beside the file at `utf8Path`: those of its name whose process runs no more,
    // or is this one, which has written none yet. Each deletion is logged.
    virtual void removeLeftovers(const std::string& utf8Path) = 0;
};
