#pragma once
// Persistent device tokens: the key of a module in the alias file, made from where the module
// sits so that it survives restarts and re-enumeration.
//   PXI form: "Model=<model>;Chassis=<chassis>;Slot=<slot>"
//   PCI form: "Model=<model>;PCISlotPath=<pciSlotPath up to its first NUL>"

#include <cstdint>
#include <string>

#include "discovery/DeviceIterator.h"
#include "discovery/IPciModelNameIdentifier.h"
#include "discovery/QPxiLibrary.h"

namespace qvkel {

// The two token forms; numbers in decimal, the slot path up to its first NUL.
std::string makePxiToken(const std::string& model, std::uint32_t chassis, std::uint32_t slot);
std::string makePciToken(const std::string& model, const std::string& slotPath);

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

namespace qvkel {

// The PXI form for a module that the PXI query library places in a chassis slot; the PCI form
// when the library is not loaded, does not place the module or fails in any way.
class PersistentTokenGeneratorPxi : public IPersistentTokenGenerator {
 public:
  // Both are borrowed.
  PersistentTokenGeneratorPxi(const IPciModelNameIdentifier& models, const QPxiLibrary& pxi)
      : models_(models), pxi_(pxi) {}

  std::string generate(qvjsonconfig::DeviceIteratorInterface& device) override;

 private:
  const IPciModelNameIdentifier& models_;
  const QPxiLibrary& pxi_;
};

}  // namespace qvkel
