#pragma once
// Persistent device tokens: the key of a module in the alias file, made from where the module
// sits so that it survives restarts and re-enumeration.
//   PXI form: "Model=<model>;Chassis=<chassis>;Slot=<slot>"
//   PCI form: "Model=<model>;PCISlotPath=<pciSlotPath up to its first NUL>"

#include <string>

#include "discovery/DeviceIterator.h"
#include "discovery/IPciModelNameIdentifier.h"

namespace qvkel {

class IPersistentTokenGenerator {
 public:
  virtual ~IPersistentTokenGenerator() = default;
  // The token of the module the iterator stands on.
  virtual std::string generate(qvjsonconfig::DeviceIteratorInterface& device) = 0;
};

// Always the PCI form. A property that cannot be read fails with the iterator's exception.
class PersistentTokenGeneratorPci : public IPersistentTokenGenerator {
 public:
  explicit PersistentTokenGeneratorPci(const IPciModelNameIdentifier& models) : models_(models) {}

  std::string generate(qvjsonconfig::DeviceIteratorInterface& device) override;

 private:
  const IPciModelNameIdentifier& models_;
};

}  // namespace qvkel
