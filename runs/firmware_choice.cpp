#include "runs/firmware_choice.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/text.h"
#include "runs/firmware_file_problem.h"

namespace velkor {
namespace {

// What tells a file's version apart without reading it.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t mtime_ns = 0;
    std::int64_t ctime_ns = 0;
    bool operator==(const FileStamp&) const = default;
};

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// One file of the folder as last loaded.
struct LoadedFile {
    FileStamp stamp;
    bool in_format = false;
    // Why a file in the family's format is passed over, in plain words.
    std::optional<std::string> problem;
    std::shared_ptr<const std::vector<std::uint8_t>> image;  // loaded whole
};

// The folder's visible entries, sorted; hidden ones are left out, as copies under way often
// are such (rsync's ".name.XXXXXX").
std::optional<std::string> ListFolder(const std::string& folder, std::vector<std::string>& names) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        std::string name = entries->path().filename().string();
        if (!name.starts_with('.')) {
            names.push_back(std::move(name));
        }
    }
    if (error) {
        return error.message();
    }
    std::sort(names.begin(), names.end());
    return std::nullopt;
}

std::string NameList(const std::vector<std::string>& names) {
    std::string list;
    for (const auto& name : names) {
        list += (list.empty() ? "" : ", ") + EscapeControls(name);
    }
    return list;
}

}  // namespace

struct FirmwareChoice::Cache {
    std::string folder;
    std::string shown;  // the folder in messages: "fw/"
    McuType mcu;
    std::mutex mutex;
    std::map<std::string, LoadedFile> files;  // by path

    // The regular file at `path` as it is now, loaded again if it changed; none when it is
    // not a regular file (any more).
    std::optional<LoadedFile> Get(const std::string& path) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            return std::nullopt;
        }
        const FileStamp stamp{info.st_dev, info.st_ino, info.st_size, Nanoseconds(info.st_mtim),
                              Nanoseconds(info.st_ctim)};
        {
            std::lock_guard lock(mutex);
            if (const auto kept = files.find(path);
                kept != files.end() && kept->second.stamp == stamp) {
                return kept->second;
            }
        }
        // Loaded outside the lock; a file changed meanwhile has another stamp next time.
        LoadedFile file{stamp, InFamilyFormat(path, mcu), {}, {}};
        if (file.in_format) {
            std::vector<std::uint8_t> image;
            if (const auto problem = FirmwareFileProblem(path, mcu, &image)) {
                file.problem = problem->message;
            } else {
                file.image = std::make_shared<const std::vector<std::uint8_t>>(std::move(image));
            }
        }
        std::lock_guard lock(mutex);
        files[path] = file;
        return file;
    }

    void KeepOnly(const std::set<std::string>& paths) {
        std::lock_guard lock(mutex);
        std::erase_if(files, [&](const auto& file) { return !paths.contains(file.first); });
    }
};

FirmwareChoice::FirmwareChoice(std::string folder, McuType mcu)
    : cache_(std::make_unique<Cache>()) {
    cache_->shown = EscapeControls(folder);
    if (!cache_->shown.ends_with('/')) {
        cache_->shown += '/';
    }
    cache_->folder = std::move(folder);
    cache_->mcu = mcu;
}

FirmwareChoice::~FirmwareChoice() = default;

std::optional<std::string> FirmwareChoice::Choose(UpdateSession& session, std::string& why) {
    Cache& cache = *cache_;
    why.clear();
    if (session.current_link == nullptr) {
        why = "no file in " + cache.shown + " can be checked: the unit's family is not known";
        return std::nullopt;
    }
    std::vector<std::string> names;
    if (const auto error = ListFolder(cache.folder, names)) {
        why = "cannot read the folder " + cache.shown + ": " + *error;
        return std::nullopt;
    }
    struct Candidate {
        std::string name;
        std::string path;
        std::shared_ptr<const std::vector<std::uint8_t>> image;
    };
    std::vector<Candidate> candidates;
    std::set<std::string> paths;
    std::vector<std::string> problems;
    for (const auto& name : names) {
        std::string path = (std::filesystem::path(cache.folder) / name).string();
        if (const auto file = cache.Get(path)) {
            if (file->image) {
                candidates.push_back({name, path, file->image});
            } else if (file->problem) {
                problems.push_back(*file->problem);
            }
        }
        paths.insert(std::move(path));
    }
    cache.KeepOnly(paths);

    // The check of the update road, said to nobody and undone afterwards.
    ReportSink* const sink = session.report.SetSink(nullptr);
    const ProgrammingState kept = session.programming;
    const auto check = [&](const Candidate& candidate) {
        session.programming.file_checksum_valid = false;
        session.programming.check_verdict = FileVerdict::kNotChecked;
        session.current_link->CheckFile(candidate.image->data());
        const FileVerdict verdict = session.programming.check_verdict;
        // A slave image is never checked, so never known to be this unit's.
        return ConfirmedForUnattendedUpdate(verdict) && verdict != FileVerdict::kSlaveNotChecked;
    };
    std::vector<const Candidate*> confirmed;
    for (const auto& candidate : candidates) {
        if (check(candidate)) {
            confirmed.push_back(&candidate);
        }
    }
    // What the check leaves in the link (the NEC entry command) is for the file chosen.
    if (confirmed.size() == 1 && confirmed.front() != &candidates.back()) {
        check(*confirmed.front());
    }
    session.programming = kept;
    session.report.SetSink(sink);

    if (confirmed.size() == 1) {
        return confirmed.front()->path;
    }
    std::vector<std::string> listed;
    if (confirmed.empty()) {
        for (const auto& candidate : candidates) {
            listed.push_back(candidate.name);
        }
        why = "no file in " + cache.shown + " is for this unit (checked: " +
              (listed.empty() ? std::string("none") : NameList(listed)) + ")";
        for (const auto& problem : problems) {
            why += "; " + problem;
        }
    } else {
        for (const auto* candidate : confirmed) {
            listed.push_back(candidate->name);
        }
        why = std::to_string(confirmed.size()) + " files in " + cache.shown +
              " are for this unit: " + NameList(listed);
    }
    return std::nullopt;
}

}  // namespace velkor
