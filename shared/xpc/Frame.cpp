#include "shared/xpc/Frame.h"

#include "shared/xpc/Protocol.h"

namespace xpc {

std::string frame(std::string_view body) {
  const auto n = static_cast<uint32_t>(body.size());
  std::string out;
  out.reserve(kFrameHeaderSize + body.size());
  out.push_back(static_cast<char>((n >> 24) & 0xff));
  out.push_back(static_cast<char>((n >> 16) & 0xff));
  out.push_back(static_cast<char>((n >> 8) & 0xff));
  out.push_back(static_cast<char>(n & 0xff));
  out.append(body);
  return out;
}

void FrameDecoder::feed(std::string_view bytes) {
  if (failed_) return;
  // Drop what was consumed before growing, so a long-lived connection does not accumulate.
  if (consumed_ > 0 && consumed_ == buffer_.size()) {
    buffer_.clear();
    consumed_ = 0;
  } else if (consumed_ > 4096 && consumed_ * 2 > buffer_.size()) {
    buffer_.erase(0, consumed_);
    consumed_ = 0;
  }
  buffer_.append(bytes);
}

FrameDecoder::Status FrameDecoder::next(std::string& body) {
  if (failed_) return Status::Error;
  const size_t available = buffer_.size() - consumed_;
  if (available < kFrameHeaderSize) return Status::NeedMore;
  const auto* p = reinterpret_cast<const unsigned char*>(buffer_.data() + consumed_);
  const size_t length = (size_t{p[0]} << 24) | (size_t{p[1]} << 16) | (size_t{p[2]} << 8) | p[3];
  if (length > maxBody_) {
    failed_ = true;
    buffer_.clear();
    consumed_ = 0;
    return Status::Error;
  }
  if (available - kFrameHeaderSize < length) return Status::NeedMore;
  body.assign(buffer_, consumed_ + kFrameHeaderSize, length);
  consumed_ += kFrameHeaderSize + length;
  return Status::Frame;
}

}  // namespace xpc
