#include "ArgumentParser/Name.h"

#include "ArgumentParser/Naming.h"
#include "ArgumentParser/ParsableArguments.h"

namespace argparse {

std::vector<Name> NameSpecification::makeNames(const std::string& propertyName) const {
  std::string_view base = strippingLeadingUnderscore(propertyName);
  std::vector<Name> names;
  for (const auto& element : elements_) {
    switch (element.kind) {
      case Element::Kind::longName:
        names.push_back(Name::longName(convertCamelCase(base)));
        break;
      case Element::Kind::shortName:
        if (base.empty()) {
          detail::fatalError("Key '" + propertyName +
                             "' has not characters to form short option name.");
        }
        names.push_back(Name::shortName(base.front()));
        break;
      case Element::Kind::customLong:
        names.push_back(element.flag ? Name::longWithSingleDash(element.custom)
                                     : Name::longName(element.custom));
        break;
      case Element::Kind::customShort:
        names.push_back(Name::shortName(element.custom.front(), element.flag));
        break;
    }
  }
  return names;
}

}  // namespace argparse
