// Shared pieces of the image pipeline's tests: a session with one fake
// printer, a sink that keeps what the pipeline sends, deterministic
// images, the generated test profiles and files in a scratch directory.
#pragma once

#include <lcms2.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "image_entries.h"
#include "image_pipeline.h"
#include "library_test_support.h"

namespace hostlib_test {

inline std::string ProfilePath(const char *name) { return std::string(BOM_TEST_PROFILE_DIR) + "/" + name; }

// Deterministic bytes: a fixed-seed linear congruential sequence.
inline std::vector<uint8_t> TestBytes(size_t count, uint32_t seed) {
  std::vector<uint8_t> bytes(count);
  for (uint8_t &b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return bytes;
}

// lcms2's own 8-bit transform of `pixels` between two generated profiles.
inline std::vector<uint8_t> LcmsTransform(const char *from, const char *to, cmsUInt32Number inFormat,
                                          cmsUInt32Number outFormat, size_t outComponents, uint32_t intent,
                                          const std::vector<uint8_t> &pixels, size_t count) {
  cmsHPROFILE source = cmsOpenProfileFromFile(ProfilePath(from).c_str(), "r");
  cmsHPROFILE destination = cmsOpenProfileFromFile(ProfilePath(to).c_str(), "r");
  cmsHTRANSFORM transform = cmsCreateTransform(source, inFormat, destination, outFormat, intent, cmsFLAGS_NOCACHE);
  std::vector<uint8_t> out(count * outComponents);
  if (transform != nullptr) {
    cmsDoTransform(transform, pixels.data(), out.data(), static_cast<cmsUInt32Number>(count));
    cmsDeleteTransform(transform);
  }
  cmsCloseProfile(source);
  cmsCloseProfile(destination);
  return out;
}

// A session opened with one fake printer; the pipeline's output goes to
// `sent` unless a test sends through the staged send.
class ImageTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    for (int i = 1; i <= Printers(); ++i) usbctrl_double::AddPrinter("R000000" + std::to_string(i));
    Open();
    session_ = &FirstSession();
    scratch_ = ::testing::TempDir() + "image_test_" + std::to_string(getpid()) + "_";
  }
  void TearDown() override {
    for (const std::string &file : files_) std::remove(file.c_str());
    LibraryTest::TearDown();
  }

  // The fake printers the session finds (serials R0000001, R0000002, ...).
  virtual int Printers() const { return 1; }

  hostlib::PrinterSession &Session() { return *session_; }
  hostlib::ImageJob &Job() { return session_->Image(); }
  hostlib::ImagePipeline &Pipeline() { return session_->Pipeline(); }

  void SetImage(uint16_t width, uint16_t height, uint16_t components, uint16_t type) {
    Job().width = width;
    Job().height = height;
    Job().components = components;
    Job().type = type;
    Session().BeginImageData();
  }

  // The pipeline's output is kept in `sent`, one entry per send.
  void CaptureOutput() {
    Pipeline().SetSink(
        [](void *context, const uint8_t *data, uint32_t *length, uint16_t *err) {
          static_cast<std::vector<std::vector<uint8_t>> *>(context)->emplace_back(data, data + *length);
          *err = RESULT_OK;
          return 1;
        },
        &sent);
  }
  std::vector<uint8_t> AllSent() const {
    std::vector<uint8_t> all;
    for (const auto &piece : sent) all.insert(all.end(), piece.begin(), piece.end());
    return all;
  }

  // A file in the scratch directory, removed at the end.
  std::string WriteFile(const std::string &name, const std::string &content) {
    const std::string path = scratch_ + name;
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
      std::fwrite(content.data(), 1, content.size(), file);
      std::fclose(file);
    }
    files_.push_back(path);
    return path;
  }

  // What the fake printer received after the `from` first writes.
  static std::vector<std::vector<uint8_t>> WritesFrom(size_t from) {
    std::vector<std::vector<uint8_t>> all = usbctrl_double::Written(0);
    return std::vector<std::vector<uint8_t>>(all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())),
                                             all.end());
  }

  std::vector<std::vector<uint8_t>> sent;

 private:
  hostlib::PrinterSession *session_ = nullptr;
  std::string scratch_;
  std::vector<std::string> files_;
};

}  // namespace hostlib_test
