#include "Lzma.h"

#include <lzma.h>

#include <string>

namespace fwfile {
namespace {

constexpr std::size_t kPropertiesSize = 5;
constexpr std::size_t kHeaderSize = kPropertiesSize + 8; // properties, then the size field

// Runs a prepared liblzma stream over the input until it ends.
std::vector<std::uint8_t> RunStream(lzma_stream &stream, std::span<const std::uint8_t> input,
                                    std::size_t expected, const char *what) {
  std::vector<std::uint8_t> output(expected > 0 ? expected : input.size() + 64);
  stream.next_in = input.data();
  stream.avail_in = input.size();
  stream.next_out = output.data();
  stream.avail_out = output.size();
  for (;;) {
    const lzma_ret result = lzma_code(&stream, LZMA_FINISH);
    if (result == LZMA_STREAM_END) {
      break;
    }
    if (result != LZMA_OK) {
      lzma_end(&stream);
      throw LzmaError(std::string(what) + " failed (liblzma error " +
                      std::to_string(static_cast<int>(result)) + ")");
    }
    if (stream.avail_out == 0) {
      const std::size_t used = output.size();
      output.resize(used * 2);
      stream.next_out = output.data() + used;
      stream.avail_out = output.size() - used;
    }
  }
  output.resize(stream.total_out);
  lzma_end(&stream);
  return output;
}

} // namespace

std::vector<std::uint8_t> LzmaDecompress(std::span<const std::uint8_t> stream) {
  if (stream.size() < kHeaderSize) {
    throw LzmaError("the LZMA stream is " + std::to_string(stream.size()) +
                    " bytes, shorter than its 13-byte header");
  }
  std::uint64_t size = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    size |= std::uint64_t{stream[kPropertiesSize + i]} << (8 * i);
  }
  lzma_stream decoder = LZMA_STREAM_INIT;
  if (lzma_alone_decoder(&decoder, UINT64_MAX) != LZMA_OK) {
    throw LzmaError("liblzma cannot start a decoder");
  }
  const bool known = size != UINT64_MAX;
  std::vector<std::uint8_t> data =
      RunStream(decoder, stream, known ? static_cast<std::size_t>(size) : 0, "decompression");
  if (known && data.size() != size) {
    throw LzmaError("the LZMA header promises " + std::to_string(size) + " bytes, the data gave " +
                    std::to_string(data.size()));
  }
  return data;
}

std::vector<std::uint8_t> LzmaCompress(std::span<const std::uint8_t> data, std::uint32_t preset) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, preset) != 0) {
    throw LzmaError("LZMA preset " + std::to_string(preset) + " does not exist; use 0-9");
  }
  lzma_stream encoder = LZMA_STREAM_INIT;
  if (lzma_alone_encoder(&encoder, &options) != LZMA_OK) {
    throw LzmaError("liblzma cannot start an encoder");
  }
  std::vector<std::uint8_t> stream = RunStream(encoder, data, 0, "compression");
  for (std::size_t i = 0; i < 8; ++i) {
    stream[kPropertiesSize + i] = static_cast<std::uint8_t>(std::uint64_t{data.size()} >> (8 * i));
  }
  return stream;
}

} // namespace fwfile
