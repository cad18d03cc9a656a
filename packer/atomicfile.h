// An output file written under a temporary name in its own folder and renamed into place, so
// that a failed run never leaves a partial file and never destroys the previous one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sitepack {

class AtomicFile {
public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;
    // Removes the temporary file unless commit() succeeded.
    ~AtomicFile();

    // Each returns false with the system's reason in `error` on failure.
    bool open(const std::string &path, std::string &error);
    bool write(const char *data, std::size_t size, std::string &error);
    // Appends up to `size` bytes of the open file `source` from its start, copied inside the
    // kernel where the file systems allow it. `copied` falls short when the source is shorter.
    bool copyFrom(int source, std::uint64_t size, std::uint64_t &copied, std::string &error);
    bool commit(std::string &error);

    const std::string &temporaryPath() const { return m_temporary; }
    // Temporary files for `fileName` begin with this; one left by a killed run is not a file
    // to pack.
    static std::string temporaryPrefix(const std::string &fileName);

private:
    void discard();

    std::string m_target;
    std::string m_temporary;
    int m_fd = -1;
};

} // namespace sitepack
