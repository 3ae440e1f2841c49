// A file system that fails where a test tells it to: every call goes to the file system under it
// (the machine's, or a MemoryFileSystem), except the calls a fault matches, which fail with the
// fault's Windows error, or find the file system changed under them just before they go on (an
// entry that vanished since it was listed, a folder swapped for a link since it was listed).
//
// A fault matches by operation and by name: the entry's name, or the last component of a path,
// against a PathMatchSpec pattern ("*" for any). It acts on its first `times` matches, or on
// every one when `times` is kAlways; the calls it acted on are counted in `hits`. A failure
// with the error kSuccess changes nothing and only counts the calls.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/memory_file_system.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace orvanel::testing {

enum class Op {
  kOpenFolder,
  kOpenEntry,
  kListFolder,
  kGetAttributes,
  kSetAttributesNormal,
  kDeleteFile,
  kRemoveDirectory,
  kMoveToTrash,
  kIsFolderEmpty,
  kCreateDirectory,
};

struct Fault {
  static constexpr int kAlways = -1;
  enum class Kind {
    kFail,      // the call fails with `error`, and nothing is done
    kVanish,    // the entry is deleted (a file, or an empty folder) just before the call goes on
    kSwapLink,  // the folder at `path` is moved aside and a link to `link_target` takes its
                // place just before the call goes on
  };

  Op op = Op::kDeleteFile;
  std::string name = "*";
  uint32_t error = platform::error::kAccessDenied;
  int times = kAlways;
  Kind kind = Kind::kFail;
  std::string path;         // kSwapLink: the folder to replace
  std::string link_target;  // kSwapLink: where the link leads
  int hits = 0;
};

class FaultyFileSystem : public platform::FileSystemWrapper {
 public:
  FaultyFileSystem() : FileSystemWrapper(platform::RealFileSystem()) {}
  // Over a file system in memory: the changes a fault makes are made there too.
  explicit FaultyFileSystem(MemoryFileSystem& memory)
      : FileSystemWrapper(memory), memory_(&memory) {}

  // Adds a fault; the reference stays valid for the life of the file system (to read `hits`).
  Fault& Add(Fault fault) {
    faults_.push_back(std::make_unique<Fault>(std::move(fault)));
    return *faults_.back();
  }
  Fault& Fail(Op op, std::string name, uint32_t error, int times = Fault::kAlways) {
    Fault fault;
    fault.op = op;
    fault.name = std::move(name);
    fault.error = error;
    fault.times = times;
    return Add(std::move(fault));
  }
  // The entry `name` is gone just before each matching call goes on.
  Fault& Vanish(Op op, std::string name) {
    Fault fault;
    fault.op = op;
    fault.name = std::move(name);
    fault.kind = Fault::Kind::kVanish;
    return Add(std::move(fault));
  }
  // The folder at `path` is replaced by a link to `link_target` just before the first matching
  // call goes on (the folder itself is moved aside to `path` + ".moved-aside").
  Fault& SwapForLink(Op op, std::string name, std::string path, std::string link_target) {
    Fault fault;
    fault.op = op;
    fault.name = std::move(name);
    fault.kind = Fault::Kind::kSwapLink;
    fault.times = 1;
    fault.path = std::move(path);
    fault.link_target = std::move(link_target);
    return Add(std::move(fault));
  }

  platform::Folder OpenFolder(const std::string& path, uint32_t* error,
                              bool follow_links) override {
    if (uint32_t code = Check(Op::kOpenFolder, LastName(path), nullptr)) {
      *error = code;
      return {};
    }
    return target().OpenFolder(path, error, follow_links);
  }
  platform::Folder OpenEntry(const platform::Folder& folder, std::string_view name, uint32_t* error,
                             bool follow_links) override {
    if (uint32_t code = Check(Op::kOpenEntry, name, &folder)) {
      *error = code;
      return {};
    }
    return target().OpenEntry(folder, name, error, follow_links);
  }
  uint32_t ListFolder(const platform::Folder& folder,
                      std::vector<platform::FindRecord>* records) override {
    if (uint32_t code = Check(Op::kListFolder, "*", nullptr)) {
      records->clear();
      return code;
    }
    return target().ListFolder(folder, records);
  }
  uint32_t GetEntryAttributes(const platform::Folder& folder, std::string_view name,
                              uint32_t* attributes, uint64_t* size) override {
    if (uint32_t code = Check(Op::kGetAttributes, name, &folder)) return code;
    return target().GetEntryAttributes(folder, name, attributes, size);
  }
  uint32_t SetEntryAttributesNormal(const platform::Folder& folder,
                                    std::string_view name) override {
    if (uint32_t code = Check(Op::kSetAttributesNormal, name, &folder)) return code;
    return target().SetEntryAttributesNormal(folder, name);
  }
  uint32_t DeleteEntryFile(const platform::Folder& folder, std::string_view name) override {
    if (uint32_t code = Check(Op::kDeleteFile, name, &folder)) return code;
    return target().DeleteEntryFile(folder, name);
  }
  uint32_t RemoveEntryDirectory(const platform::Folder& folder, std::string_view name) override {
    if (uint32_t code = Check(Op::kRemoveDirectory, name, &folder)) return code;
    return target().RemoveEntryDirectory(folder, name);
  }
  uint32_t MoveEntryToTrash(const platform::Folder& folder, std::string_view name,
                            const std::string& path, platform::TrashMove* move = nullptr) override {
    if (uint32_t code = Check(Op::kMoveToTrash, name, &folder)) return code;
    return target().MoveEntryToTrash(folder, name, path, move);
  }
  uint32_t IsEntryFolderEmpty(const platform::Folder& folder, std::string_view name,
                              bool* empty) override {
    if (uint32_t code = Check(Op::kIsFolderEmpty, name, &folder)) return code;
    return target().IsEntryFolderEmpty(folder, name, empty);
  }
  uint32_t CreateEntryDirectory(const platform::Folder& folder, std::string_view name) override {
    if (uint32_t code = Check(Op::kCreateDirectory, name, &folder)) return code;
    return target().CreateEntryDirectory(folder, name);
  }

 private:
  static std::string LastName(const std::string& path) {
    std::string_view rest = path;
    while (rest.size() > 1 && rest.back() == platform::kPathSeparator) rest.remove_suffix(1);
    const size_t cut = rest.rfind(platform::kPathSeparator);
    return std::string(cut == std::string_view::npos ? rest : rest.substr(cut + 1));
  }

  // The error the call must fail with (0: go on), after whatever a matching fault changes.
  uint32_t Check(Op op, std::string_view name, const platform::Folder* folder) {
    for (const auto& fault : faults_) {
      if (fault->op != op || fault->times == 0) continue;
      if (fault->name != "*" && !platform::PathMatchSpec(name, fault->name)) continue;
      if (fault->times > 0) --fault->times;
      ++fault->hits;
      switch (fault->kind) {
        case Fault::Kind::kFail:
          return fault->error;
        case Fault::Kind::kVanish:
          Vanish(name, folder);
          return 0;
        case Fault::Kind::kSwapLink: {
          if (memory_ != nullptr) {
            memory_->SwapForLink(fault->path, fault->link_target);
            return 0;
          }
          std::error_code ignored;
          std::filesystem::rename(fault->path, fault->path + ".moved-aside", ignored);
          std::filesystem::create_directory_symlink(fault->link_target, fault->path, ignored);
          return 0;
        }
      }
    }
    return 0;
  }

  void Vanish(std::string_view name, const platform::Folder* folder) {
    if (folder == nullptr) return;
    platform::FileSystem& real = target();
    if (real.DeleteEntryFile(*folder, name) != platform::error::kSuccess) {
      real.RemoveEntryDirectory(*folder, name);
    }
  }

  MemoryFileSystem* memory_ = nullptr;
  std::vector<std::unique_ptr<Fault>> faults_;
};

}  // namespace orvanel::testing
