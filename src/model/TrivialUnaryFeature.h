#pragma once
// A feature of one attribute mirrored into one FPGA register: the register is looked up by
// name when the feature is made (a bitfile without it leaves the feature absent), the compile
// step only marks the value pending, and the deploy step writes it when it is pending or when
// every feature must write everything.

#include <cstdint>
#include <memory>

#include "attributes/AttributeRegistry.h"
#include "model/CommissionInterface.h"
#include "model/DependencyAttribute.h"
#include "model/Resolvers.h"
#include "model/SessionTransportInterface.h"

namespace nQVVANDRELBRENMOORU_22_8 {
class iInterfaceProxy_vandrelbrenmoor;
}  // namespace nQVVANDRELBRENMOORU_22_8

namespace qvvandrel {

// The value types of an instance: its attribute's and its register's. A bool attribute goes
// into an 8-bit register; an instance with another attribute type specialises this.
template <int Id>
struct TrivialUnaryTraits {
  static_assert(static_cast<std::uint32_t>(Id) >> 28 == 4,
                "an instance whose attribute is not bool names its types");
  using Value = bool;
  using RegisterValue = bool;
};

// The identifier is an int parameter: the resolvers are named by the class's run-time type
// name, "N9qvvandrel19TrivialUnaryFeatureILi1073741828EEE" for the IOC filter.
template <int Id>
class TrivialUnaryFeature : public TrivialFeature {
 public:
  using Value = typename TrivialUnaryTraits<Id>::Value;
  using RegisterValue = typename TrivialUnaryTraits<Id>::RegisterValue;
  using AttributeType = DepAttr<static_cast<std::uint32_t>(Id), DependencyAttribute<Value>>;
  using RegisterType = qvisl::Register<RegisterValue, SessionTransportInterface>;

  // Resolves the register through the transport into the feature's own status; the feature is
  // present when that succeeded. The attribute starts dirty with `initialValue`.
  TrivialUnaryFeature(SessionTransportInterface& transport, const char* registerName,
                      const char* channelName, Value initialValue)
      : compileResolver_(this),
        deployResolver_(this),
        register_(&transport, registerName, &status_),
        present_(!status_.isError()),
        attribute_(channelName, &initialValue) {}
  TrivialUnaryFeature(const TrivialUnaryFeature&) = delete;
  TrivialUnaryFeature& operator=(const TrivialUnaryFeature&) = delete;

  // The factory of an instance that needs more than its register to start (defined by the
  // owner of that instance: the IOC filter's in features/IocFilter).
  static std::unique_ptr<TrivialUnaryFeature> create(
      SessionTransportInterface& transport,
      nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& proxy);

  void registerAttributes(atat::AttributeRegistry* registry) override {
    if (present_) registry->addAttribute(&attribute_);
  }
  void commission(const ResolverRoots* roots, atat::AttributeRegistry*) override {
    if (!present_) return;
    wireResolvers(*roots, compileResolver_, deployResolver_);
    wireOwnAttribute(compileResolver_, attribute_);
  }
  void compile() override { pending_ = true; }
  // A failed write is raised and leaves the value pending, so the next deploy writes again.
  void deploy(bool force) override {
    if (force) pending_ = true;
    if (!pending_) return;
    nQVVUSKS100::tStatus status;
    register_.write(static_cast<RegisterValue>(attribute_.getCoerced()), &status);
    pending_ = false;
  }

  bool present() const { return present_; }
  bool pending() const { return pending_; }
  AttributeType& attribute() { return attribute_; }
  const nQVVUSKS100::tStatus& resolutionStatus() const { return status_; }

 private:
  CompileResolver<TrivialUnaryFeature> compileResolver_;
  DeployResolver<TrivialUnaryFeature> deployResolver_;
  nQVVUSKS100::tStatus status_;
  RegisterType register_;
  bool present_;
  AttributeType attribute_;
  bool pending_ = true;
};

}  // namespace qvvandrel
