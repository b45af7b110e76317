// Decompressing stream buffers over zlib's gzip reader and libzip's file
// reader. Each fills a 1 MiB get area per underflow, which the CSV reader
// walks in place (io/csv_reader.cpp), so decompression costs one copy.
#include "io/compressed_input.h"

#include <zip.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <streambuf>
#include <vector>

#include "io/import_position.h"

namespace orvane {
namespace {

constexpr std::size_t kChunk = 1 << 20;

class GzipBuffer : public std::streambuf {
 public:
  explicit GzipBuffer(gzFile file) : file_(file) {}
  ~GzipBuffer() override { gzclose(file_); }
  GzipBuffer(const GzipBuffer&) = delete;
  GzipBuffer& operator=(const GzipBuffer&) = delete;

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const int n = gzread(file_, buffer_.data(), static_cast<unsigned>(buffer_.size()));
    if (n < 0) {
      int code = 0;
      throw std::runtime_error(std::string("gzip data is damaged: ") + gzerror(file_, &code));
    }
    if (n == 0) return traits_type::eof();
    setg(buffer_.data(), buffer_.data(), buffer_.data() + n);
    return traits_type::to_int_type(*gptr());
  }

 private:
  gzFile file_;
  std::vector<char> buffer_ = std::vector<char>(kChunk);
};

class ZipBuffer : public std::streambuf {
 public:
  ZipBuffer(zip_t* archive, zip_file_t* file) : archive_(archive), file_(file) {}
  ~ZipBuffer() override {
    zip_fclose(file_);
    zip_discard(archive_);
  }
  ZipBuffer(const ZipBuffer&) = delete;
  ZipBuffer& operator=(const ZipBuffer&) = delete;

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const zip_int64_t n = zip_fread(file_, buffer_.data(), buffer_.size());
    if (n < 0) throw std::runtime_error(std::string("zip data is damaged: ") + zip_file_strerror(file_));
    if (n == 0) return traits_type::eof();
    setg(buffer_.data(), buffer_.data(), buffer_.data() + n);
    return traits_type::to_int_type(*gptr());
  }

 private:
  zip_t* archive_;
  zip_file_t* file_;
  std::vector<char> buffer_ = std::vector<char>(kChunk);
};

// A stream that owns its buffer.
class OwningStream : public std::istream {
 public:
  explicit OwningStream(std::unique_ptr<std::streambuf> buffer) : std::istream(buffer.get()), buffer_(std::move(buffer)) {}

 private:
  std::unique_ptr<std::streambuf> buffer_;
};

std::unique_ptr<std::istream> open_zip(const std::string& path) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (archive == nullptr) {
    zip_error_t reason;
    zip_error_init_with_code(&reason, error);
    const std::string text = zip_error_strerror(&reason);
    zip_error_fini(&reason);
    throw ImportPositionError(path, 0, "", "zip archive cannot be read: " + text);
  }
  // The first entry that is a file, not a folder.
  const zip_int64_t entries = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < entries; ++i) {
    const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
    if (name == nullptr || std::string(name).ends_with("/")) continue;
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (file == nullptr) {
      const std::string text = zip_strerror(archive);
      zip_discard(archive);
      throw ImportPositionError(path, 0, "", "zip archive cannot be read: " + text);
    }
    return std::make_unique<OwningStream>(std::make_unique<ZipBuffer>(archive, file));
  }
  zip_discard(archive);
  throw ImportPositionError(path, 0, "", "zip archive holds no file");
}

}  // namespace

std::unique_ptr<std::istream> open_import_input(const std::string& path) {
  std::array<unsigned char, 4> magic{};
  std::size_t got = 0;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    got = std::fread(magic.data(), 1, magic.size(), f);
    std::fclose(f);
  } else {
    throw ImportPositionError(path, 0, "", "cannot be opened");
  }
  if (got >= 2 && magic[0] == 0x1F && magic[1] == 0x8B) {
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr) throw ImportPositionError(path, 0, "", "cannot be opened");
    gzbuffer(file, 1 << 18);
    return std::make_unique<OwningStream>(std::make_unique<GzipBuffer>(file));
  }
  if (got == 4 && magic[0] == 'P' && magic[1] == 'K' && magic[2] == 3 && magic[3] == 4) return open_zip(path);
  auto in = std::make_unique<std::ifstream>(path, std::ios::binary);
  if (!*in) throw ImportPositionError(path, 0, "", "cannot be opened");
  return in;
}

}  // namespace orvane
