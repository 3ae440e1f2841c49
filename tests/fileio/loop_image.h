// A real file system for a test: a sparse image file in a fresh temporary folder, attached to a
// loop device, formatted and mounted under that folder; unmounted, detached and removed again
// when the object goes. Only root can do this, and only with the tools installed: otherwise
// the object is not usable and says why (tests then GTEST_SKIP with that reason).
//
//   LoopImage image(LoopImage::kBtrfs);
//   if (!image.usable()) GTEST_SKIP() << image.why();
//   ... image.mount_point() ...
#pragma once

#include <sys/mount.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace quern::testing {

// Runs a shell command; returns its exit status and (if asked) its standard output and error.
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  std::array<char, 4096> buffer;
  size_t size;
  while ((size = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    text.append(buffer.data(), size);
  const int status = pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool HaveTool(const std::string& name) {
  return RunCommand("command -v " + name + " >/dev/null") == 0;
}

class LoopImage {
 public:
  enum Kind {
    kBtrfs,  // mkfs.btrfs, mounted plainly (no compress option: the library compresses itself)
    kNtfs,   // mkntfs, mounted by ntfs-3g with streams as user. attributes
  };

  explicit LoopImage(Kind kind, int size_mib = 120) : kind_(kind) {
    if (geteuid() != 0) {
      why_ = "needs root to attach and mount a loop image";
      return;
    }
    const std::vector<std::string> tools =
        kind == kBtrfs ? std::vector<std::string>{"mkfs.btrfs", "losetup", "mount", "umount"}
                       : std::vector<std::string>{"mkntfs", "ntfs-3g", "losetup", "umount"};
    for (const std::string& tool : tools) {
      if (!HaveTool(tool)) {
        why_ = tool + " is not installed";
        return;
      }
    }
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/loop-image-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      why_ = "cannot make a temporary folder";
      return;
    }
    folder_ = pattern;
    image_ = folder_ + "/image";
    mount_point_ = folder_ + "/mnt";
    std::string output;
    if (RunCommand("truncate -s " + std::to_string(size_mib) + "M '" + image_ + "' && mkdir '" +
                       mount_point_ + "'",
                   &output) != 0) {
      why_ = "cannot make the image: " + output;
      return;
    }
    const std::string format = kind == kBtrfs ? "mkfs.btrfs -q -f '" + image_ + "'"
                                              : "mkntfs -F -Q -f '" + image_ + "' >/dev/null";
    if (RunCommand(format, &output) != 0) {
      why_ = "cannot format the image: " + output;
      return;
    }
    if (RunCommand("losetup --find --show '" + image_ + "'", &device_) != 0) {
      why_ = "cannot attach a loop device: " + device_;
      device_.clear();
      return;
    }
    while (!device_.empty() && (device_.back() == '\n' || device_.back() == ' ')) {
      device_.pop_back();
    }
    if (!Mount()) return;
    usable_ = true;
  }

  ~LoopImage() {
    Unmount();
    if (!device_.empty()) RunCommand("losetup -d '" + device_ + "'");
    // Never remove the folder while something is still mounted in it.
    if (!folder_.empty() && !mounted_) RunCommand("rm -rf '" + folder_ + "'");
  }

  LoopImage(const LoopImage&) = delete;
  LoopImage& operator=(const LoopImage&) = delete;

  bool usable() const { return usable_; }
  const std::string& why() const { return why_; }
  const std::string& mount_point() const { return mount_point_; }
  const std::string& device() const { return device_; }
  std::string operator/(const std::string& name) const { return mount_point_ + "/" + name; }

  // Mounts the volume (again); false with why() set on failure.
  bool Mount() {
    if (mounted_) return true;
    const std::string command = kind_ == kBtrfs ? "mount '" + device_ + "' '" + mount_point_ + "'"
                                                : "ntfs-3g -o streams_interface=xattr '" + device_ +
                                                      "' '" + mount_point_ + "'";
    std::string output;
    if (RunCommand(command, &output) != 0) {
      why_ = "cannot mount the image: " + output;
      return false;
    }
    mounted_ = true;
    return true;
  }

  // Unmounts the volume, so that its own tools can read the device; true when unmounted.
  bool Unmount() {
    if (!mounted_) return true;
    for (int attempt = 0; attempt < 50; ++attempt) {
      if (umount(mount_point_.c_str()) == 0) {
        mounted_ = false;
        return true;
      }
      usleep(100 * 1000);  // a FUSE daemon or a writeback may still hold it
    }
    if (umount2(mount_point_.c_str(), MNT_DETACH) == 0) mounted_ = false;
    return !mounted_;
  }

 private:
  Kind kind_;
  bool usable_ = false;
  bool mounted_ = false;
  std::string why_;
  std::string folder_;
  std::string image_;
  std::string mount_point_;
  std::string device_;
};

}  // namespace quern::testing
