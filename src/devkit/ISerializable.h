#pragma once
// Objects that append their packed form to a serialization buffer.

#include "devkit/ByteVector.h"
#include "foundation/errors/Status.h"

namespace qvkel {

class ISerializable {
 public:
  virtual ~ISerializable() = default;
  // Appends this object's bytes; does nothing once `status` holds an error.
  virtual void serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const = 0;

 protected:
  ISerializable() = default;
  ISerializable(const ISerializable&) = default;
  ISerializable& operator=(const ISerializable&) = default;
};

}  // namespace qvkel
