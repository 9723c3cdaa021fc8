#include "foundation/errors/StatusDetailWriter.h"

namespace qverr {

StatusDetailWriter::StatusDetailWriter() : buffer_(kInitialSize, '\0') {
  writer_.cursor = json::initBuffer(buffer_.data(), buffer_.size(), "{}");
  writer_.grow = json::Grow{&StatusDetailWriter::grow, this};
}

char* StatusDetailWriter::grow(char* cursor, void* context) {
  auto* self = static_cast<StatusDetailWriter*>(context);
  const size_t offset = static_cast<size_t>(cursor - self->buffer_.data());
  self->buffer_.resize(self->buffer_.size() * 2, '\0');
  if (json::initBuffer(self->buffer_.data(), self->buffer_.size(), nullptr) == nullptr)
    return nullptr;
  return self->buffer_.data() + offset;
}

}  // namespace qverr
