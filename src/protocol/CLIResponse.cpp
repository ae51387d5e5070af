#include "protocol/CLIResponse.h"

#include "protocol/CaseNames.h"

namespace kestrune {

std::string_view CLIResponseData::caseName() const {
  return responseCaseNames[value.index()];
}

}  // namespace kestrune
