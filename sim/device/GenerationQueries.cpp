#include "sim/device/GenerationQueries.h"

namespace sim {

GenerationQueries::GenerationQueries(Interface& iface) {
  iface.handle(kCommand, [answers = answers_](Call& call) {
    Answer answer;
    {
      std::lock_guard<std::mutex> lock(answers->mutex);
      auto found = answers->byArgument.find(call.u32(0));
      if (found != answers->byArgument.end()) answer = found->second;
    }
    if (answer.status != 0) {
      call.status = answer.status;
    } else {
      call.putU64(0, answer.value);
    }
    return 0;
  });
}

void GenerationQueries::setValue(uint32_t argument, uint64_t value) {
  std::lock_guard<std::mutex> lock(answers_->mutex);
  answers_->byArgument[argument].value = value;
}

void GenerationQueries::setStatus(uint32_t argument, int32_t status) {
  std::lock_guard<std::mutex> lock(answers_->mutex);
  answers_->byArgument[argument].status = status;
}

void GenerationQueries::clear(uint32_t argument) {
  std::lock_guard<std::mutex> lock(answers_->mutex);
  answers_->byArgument.erase(argument);
}

}  // namespace sim
