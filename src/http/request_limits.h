// What one request may take. The request parser holds every request to
// these and nothing else does; the server fills them from its properties.
// (What all requests arriving may hold together: RequestMemory.)
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// Bytes a line may hold before its LF (a CR before the LF counts among them).
inline constexpr size_t kMaxLineLength = 16384;
// Bytes of a request head: request line and header lines, line ends included.
inline constexpr size_t kMaxRequestHead = 65536;
// Non-empty header lines of a request.
inline constexpr int kMaxHeaderLines = 1024;
// Bytes of a request body (after chunks are decoded).
inline constexpr int64_t kMaxRequestBody = 1 << 20;
// Bytes of a method name: far more than any method has.
inline constexpr size_t kMaxMethodLength = 32;
// Bytes of a chunk-size line (the size and any extensions) before its CR LF.
inline constexpr size_t kMaxChunkLine = 256;
// Bytes of chunk framing in one body: the chunk-size lines and the line end
// after each chunk's data. Enough for a megabyte in chunks of 100 bytes.
inline constexpr size_t kMaxChunkFraming = 65536;
// Bytes of the trailer lines after the last chunk, line ends included.
inline constexpr size_t kMaxTrailers = 8192;

struct RequestLimits {
  size_t max_line = kMaxLineLength;
  size_t max_head = kMaxRequestHead;
  int max_header_lines = kMaxHeaderLines;
  int64_t max_body = kMaxRequestBody;
  size_t max_method = kMaxMethodLength;
  size_t max_chunk_line = kMaxChunkLine;
  size_t max_chunk_framing = kMaxChunkFraming;
  size_t max_trailers = kMaxTrailers;
};

}  // namespace qv
