// Fuzz target: a WAV header read from an untrusted file, both from bytes and through WaveFile::Open.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "audio/WaveFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using recdesk::audio::CFile64;
  using recdesk::audio::FileError;
  using recdesk::audio::WaveFile;
  using recdesk::audio::WaveHeader;

  WaveHeader header;
  if (WaveHeader::fromBytes(data, size, header)) {
    // A header that passes must describe itself consistently and survive a round trip.
    if (header.byteRate == 0 || header.blockAlign == 0) __builtin_trap();
    const auto bytes = header.toBytes();
    WaveHeader again;
    if (!WaveHeader::fromBytes(bytes.data(), bytes.size(), again)) __builtin_trap();
  }

  static const std::string path = (recdesk::fuzz::memoryFolder() / "header.wav").string();
  recdesk::fuzz::writeWhole(path, data, size);
  try {
    WaveFile reader;
    FileError error;
    if (reader.Open(path, CFile64::kRead, CFile64::kShareRead, CFile64::kOpenExisting, &error)) {
      std::uint32_t rate = 0;
      std::uint16_t bits = 0, channels = 0;
      reader.GetFormat(rate, bits, channels);
      (void)reader.Seconds();
      std::uint8_t buffer[512];
      while (reader.Read(buffer, sizeof buffer) == sizeof buffer) {
      }
      reader.Close();
    }
    // Opened for writing: the lengths are corrected (valid header) or the file is left alone.
    WaveFile writer;
    if (writer.Open(path, CFile64::kReadWrite, 0, CFile64::kOpenExisting, &error)) {
      const bool valid = writer.headerValid();
      writer.Close();
      if (valid) {
        WaveFile check;
        if (!check.Open(path, CFile64::kRead, 0, CFile64::kOpenExisting, &error) || !check.headerValid())
          __builtin_trap();
      }
    }
  } catch (const FileError&) {
    // File errors are the documented way later failures are reported.
  }
  return 0;
}
