#include "ArgumentParser/ArgumentDefinition.h"

#include "ArgumentParser/Naming.h"

namespace argparse {

namespace {

using Declaration = detail::ArgumentDeclaration;

std::string lookupKey(const Name& name) {
  return std::to_string(static_cast<int>(name.kind)) + name.value;
}

std::string derivedValueName(const Declaration& declaration) {
  if (declaration.help.valueName) {
    return *declaration.help.valueName;
  }
  return convertCamelCase(strippingLeadingUnderscore(declaration.propertyName));
}

std::vector<Name> declaredNames(const Declaration& declaration) {
  if (declaration.names.empty()) {
    return {Name::longName(convertCamelCase(strippingLeadingUnderscore(declaration.propertyName)))};
  }
  return declaration.names.makeNames(declaration.propertyName);
}

// --x gives --no-x or --enable-x/--disable-x; short names are not inverted.
Name invertedName(const Name& name, FlagInversion inversion, bool positive) {
  std::string prefix;
  if (inversion == FlagInversion::prefixedNo) {
    prefix = positive ? "" : "no-";
  } else {
    prefix = positive ? "enable-" : "disable-";
  }
  return {name.kind, prefix + name.value, false};
}

void addFlagNames(ArgumentDefinition& definition, const Declaration& declaration) {
  std::vector<Name> names = declaredNames(declaration);
  if (!declaration.inversion) {
    definition.names = names;
    definition.flagValues.assign(names.size(), 0);
    return;
  }
  definition.isComposite = true;
  for (int pass = 0; pass < 2; ++pass) {
    bool positive = pass == 0;
    for (const auto& name : names) {
      if (name.isShort()) {
        if (positive) {
          definition.names.push_back(name);
          definition.flagValues.push_back(0);
        }
        continue;
      }
      definition.names.push_back(invertedName(name, *declaration.inversion, positive));
      definition.flagValues.push_back(positive ? 0 : 1);
    }
  }
}

ArgumentDefinition definitionFor(detail::ArgumentBase& argument, const Declaration& declaration,
                                 const std::vector<std::string>& path,
                                 const std::optional<std::string>& parentTitle,
                                 ArgumentVisibility groupVisibility) {
  ArgumentDefinition d;
  d.key = InputKey{declaration.propertyName, path};
  d.target = &argument;
  d.isOptional = declaration.isOptional;
  d.isRepeating = declaration.isRepeating;
  d.defaultValue = declaration.defaultValueText;
  d.allValueStrings = declaration.allValueStrings;
  d.abstract = declaration.help.abstract;
  d.discussion = declaration.help.discussion;
  d.valueName = derivedValueName(declaration);
  d.visibility = std::max(declaration.help.visibility, groupVisibility);
  d.parentTitle = parentTitle;
  d.completion = declaration.completion;
  d.parsingStrategy = declaration.parsingStrategy;
  d.exclusivity = declaration.exclusivity;
  switch (declaration.kind) {
    case Declaration::Kind::positional:
      d.kind = ArgumentDefinition::Kind::positional;
      break;
    case Declaration::Kind::option:
      d.names = declaredNames(declaration);
      break;
    case Declaration::Kind::flag:
      d.update = ArgumentDefinition::Update::nullary;
      addFlagNames(d, declaration);
      if (d.isComposite && declaration.defaultValueText) {
        // The default of an inverted flag is the name that gives it.
        bool value = *declaration.defaultValueText == "true";
        for (std::size_t i = 0; i < d.names.size(); ++i) {
          if (!d.names[i].isShort() && (d.flagValues[i] == 0) == value) {
            d.defaultValue = d.names[i].synopsis();
            break;
          }
        }
      } else {
        d.defaultValue.reset();
      }
      break;
    case Declaration::Kind::enumFlag:
      d.update = ArgumentDefinition::Update::nullary;
      d.isComposite = true;
      for (std::size_t i = 0; i < declaration.caseNames.size(); ++i) {
        d.names.push_back(Name::longName(declaration.caseNames[i]));
        d.flagValues.push_back(i);
      }
      if (declaration.defaultValueText) {
        d.defaultValue = "--" + *declaration.defaultValueText;
      }
      d.allValueStrings.clear();
      break;
    case Declaration::Kind::group:
      break;
  }
  return d;
}

void collect(ParsableArguments& arguments, const std::vector<std::string>& path,
             const std::optional<std::string>& parentTitle, ArgumentVisibility visibility,
             std::vector<ArgumentDefinition>& out) {
  for (detail::ArgumentBase* argument : arguments.declaredArguments()) {
    const Declaration& declaration = argument->declaration();
    if (declaration.kind == Declaration::Kind::group) {
      std::vector<std::string> nested = path;
      nested.push_back(declaration.propertyName);
      collect(*argument->group(), nested, declaration.title ? declaration.title : parentTitle,
              std::max(visibility, declaration.help.visibility), out);
      continue;
    }
    out.push_back(definitionFor(*argument, declaration, path, parentTitle, visibility));
  }
}

}  // namespace

const Name* ArgumentDefinition::preferredName() const {
  for (const auto& name : names) {
    if (!name.isShort()) {
      return &name;
    }
  }
  return names.empty() ? nullptr : &names.front();
}

std::string ArgumentDefinition::synopsisForHelp() const {
  if (isPositional()) {
    return "<" + valueName + ">";
  }
  const Name* name = preferredName();
  std::string text = name ? name->synopsis() : std::string();
  if (takesValue()) {
    text += " <" + valueName + ">";
  }
  return text;
}

std::string ArgumentDefinition::usageSynopsis() const {
  if (kind == Kind::named && preferredName() == nullptr) {
    detail::fatalError("preferredName cannot be nil for named arguments");
  }
  std::string text = synopsisForHelp();
  if (isRepeating) {
    text += " ...";
  }
  if (isOptional) {
    text = "[" + text + "]";
  }
  if (isPositional() && parsingStrategy == ParsingStrategy::postTerminator) {
    text = "-- " + text;
  }
  return text;
}

std::string ArgumentDefinition::helpLabel() const {
  if (isPositional()) {
    return "<" + valueName + ">";
  }
  std::string label;
  auto add = [&label](const Name& name) { label += (label.empty() ? "" : ", ") + name.synopsis(); };
  for (const auto& name : names) {
    if (name.isShort()) {
      add(name);
    }
  }
  for (const auto& name : names) {
    if (!name.isShort()) {
      add(name);
    }
  }
  if (takesValue()) {
    label += " <" + valueName + ">";
  }
  return label;
}

ArgumentSet::ArgumentSet(std::vector<ArgumentDefinition> definitions) {
  for (auto& definition : definitions) {
    append(std::move(definition));
  }
}

std::optional<std::size_t> ArgumentSet::find(const Name& name) const {
  auto found = byName_.find(lookupKey(name));
  if (found == byName_.end()) {
    return std::nullopt;
  }
  return found->second;
}

std::vector<const ArgumentDefinition*> ArgumentSet::positionals() const {
  std::vector<const ArgumentDefinition*> result;
  for (const auto& definition : definitions_) {
    if (definition.isPositional()) {
      result.push_back(&definition);
    }
  }
  return result;
}

void ArgumentSet::append(ArgumentDefinition definition) {
  for (const auto& name : definition.names) {
    byName_.emplace(lookupKey(name), definitions_.size());  // the first declaration wins
  }
  definitions_.push_back(std::move(definition));
}

ArgumentSet makeArgumentSet(ParsableArguments& arguments) {
  std::vector<ArgumentDefinition> definitions;
  collect(arguments, {}, std::nullopt, ArgumentVisibility::default_, definitions);
  return ArgumentSet(std::move(definitions));
}

ArgumentDefinition versionFlagDefinition() {
  ArgumentDefinition d;
  d.update = ArgumentDefinition::Update::nullary;
  d.names = {Name::longName("version")};
  d.flagValues = {0};
  d.isOptional = true;
  d.key = InputKey{"version", {}};
  d.abstract = "Show the version.";
  d.valueName = "version";
  return d;
}

ArgumentDefinition helpFlagDefinition(std::vector<Name> helpNames) {
  ArgumentDefinition d;
  d.update = ArgumentDefinition::Update::nullary;
  d.names = std::move(helpNames);
  d.flagValues.assign(d.names.size(), 0);
  d.isOptional = true;
  d.key = InputKey{"help", {}};
  d.abstract = "Show help information.";
  d.valueName = "help";
  return d;
}

}  // namespace argparse
