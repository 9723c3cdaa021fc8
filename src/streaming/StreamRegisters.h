#pragma once
// The five registers through which the host drives one stream of the design: a request the
// host writes, the state the FPGA reports, the sample count of a finite stream, the samples
// moved so far and the metadata whose low byte is the sample granularity.

#include <cstdint>

#include "foundation/errors/Status.h"
#include "model/SessionTransportInterface.h"

namespace qvstream_lib {

using Transport = qvisl::TransportInterfaceTemplate<nQVVUSKS100::tStatus>;

// A stream register leaves a failed access in the caller's status and never raises: the waits
// keep polling on a status and report what it holds when they end. Every access does nothing
// when the status already holds an error.
template <typename T>
class StreamRegister : public qvisl::Register<T, Transport> {
 public:
  using qvisl::Register<T, Transport>::Register;

  void write(const T& value, nQVVUSKS100::tStatus* status) override {
    if (status->isError()) return;
    (this->transport()->*qvisl::TransportAccess<T>::write)(this->address(), value, status);
  }
  T read(nQVVUSKS100::tStatus* status) override {
    T value{};
    if (status->isError()) return value;
    (this->transport()->*qvisl::TransportAccess<T>::read)(this->address(), &value, status);
    return value;
  }
};

// Host request: 0 stop, 1 arm finite, 2 arm continuous, 6 start.
class RequestState final : public StreamRegister<unsigned char> {
  using StreamRegister::StreamRegister;
};
class NumSamples final : public StreamRegister<unsigned long> {
  using StreamRegister::StreamRegister;
};
// 0 idle, 1 and 2 armed (finite, continuous), 3 running, 4 error, 5 done.
class State final : public StreamRegister<unsigned char> {
  using StreamRegister::StreamRegister;
};
class SamplesTransferred final : public StreamRegister<unsigned long> {
  using StreamRegister::StreamRegister;
};
class Metadata final : public StreamRegister<unsigned long> {
  using StreamRegister::StreamRegister;
};

// The name of a register of stream `number`, formatted from `format` ("stream.state %d"):
// at most 62 characters.
struct StreamRegisterName {
  StreamRegisterName(const char* format, std::int32_t number);
  char text[63];
};

// The register set of stream `number`, each name resolved through the transport into
// `status`; once it holds an error the remaining names are not looked up, and the set is of
// no use (its stream does not exist).
struct StreamRegisterSet {
  StreamRegisterSet(Transport* transport, std::int32_t number, nQVVUSKS100::tStatus* status);
  StreamRegisterSet(const StreamRegisterSet&) = delete;
  StreamRegisterSet& operator=(const StreamRegisterSet&) = delete;

  Transport* transport;
  RequestState requestState;
  NumSamples numSamples;
  State state;
  SamplesTransferred samplesTransferred;
  Metadata metadata;
};

}  // namespace qvstream_lib
