#include "ArgumentParser/Completion.h"

#include <charconv>
#include <cstdlib>
#include <mutex>

#include "ArgumentParser/HelpDump.h"
#include "ArgumentParser/HelpGenerator.h"

namespace argparse {

namespace {

// The shell being served, for argument types that compute candidates.
struct ServedShell {
  std::mutex mutex;
  std::optional<CompletionShell> shell;
  std::string version;
};

ServedShell& servedShell() {
  static ServedShell served;
  return served;
}

// One script is generated at a time.
std::mutex& generationMutex() {
  static std::mutex mutex;
  return mutex;
}

void setServedShell(std::optional<CompletionShell> shell, std::string version) {
  ServedShell& served = servedShell();
  std::lock_guard lock(served.mutex);
  served.shell = shell;
  served.version = std::move(version);
}

// Clears the served shell when the work for it is done, however it ends.
class ServedShellScope {
 public:
  ServedShellScope(std::optional<CompletionShell> shell, std::string version) {
    setServedShell(shell, std::move(version));
  }
  ServedShellScope(const ServedShellScope&) = delete;
  ServedShellScope& operator=(const ServedShellScope&) = delete;
  ~ServedShellScope() { setServedShell(std::nullopt, {}); }
};

std::string environment(const char* name) {
  const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): one thread
  return value == nullptr ? std::string() : std::string(value);
}

int integerOr(const std::string& text, int fallback) {
  int value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return (ec == std::errc() && ptr == text.data() + text.size()) ? value : fallback;
}

const ArgumentDefinition* findArgument(const ArgumentSet& set, const std::string& identifier) {
  const std::string positionalPrefix = "positional@";
  if (identifier.rfind(positionalPrefix, 0) == 0) {
    int index = integerOr(identifier.substr(positionalPrefix.size()), -1);
    auto positionals = set.positionals();
    if (index < 0 || static_cast<std::size_t>(index) >= positionals.size()) {
      return nullptr;
    }
    return positionals[static_cast<std::size_t>(index)];
  }
  for (const auto& definition : set.definitions()) {
    const Name* preferred = definition.preferredName();
    if (!definition.isPositional() && preferred != nullptr && preferred->synopsis() == identifier) {
      return &definition;
    }
  }
  return nullptr;
}

}  // namespace

std::optional<CompletionShell> currentCompletionShell() {
  ServedShell& served = servedShell();
  std::lock_guard lock(served.mutex);
  return served.shell;
}

std::string currentCompletionShellVersion() {
  ServedShell& served = servedShell();
  std::lock_guard lock(served.mutex);
  return served.version;
}

std::optional<CompletionShell> autodetectedShell() {
  std::string shell = environment("SHELL");
  auto slash = shell.rfind('/');
  if (slash != std::string::npos) {
    shell = shell.substr(slash + 1);
  }
  return completionShellFromRaw(shell);
}

std::string completionScript(const CommandTree& tree, CompletionShell shell) {
  std::lock_guard generation(generationMutex());
  ServedShellScope scope(shell, {});
  return completionScript(toolInfo(CommandStack{&tree.root()}), shell);
}

std::string customCompletionResponse(const CommandTree& tree,
                                     const std::vector<std::string>& arguments) {
  std::size_t separator = 0;
  while (separator < arguments.size() && arguments[separator] != "--") {
    ++separator;
  }
  if (separator + 1 >= arguments.size()) {
    return {};
  }
  CommandStack stack{&tree.root()};
  for (std::size_t i = 0; i < separator; ++i) {
    const CommandNode* child = stack.back()->child(arguments[i]);
    if (child == nullptr) {
      return {};
    }
    stack.push_back(child);
  }
  CommandArguments commandArguments = argumentsFor(stack);
  const ArgumentDefinition* argument = findArgument(commandArguments.set, arguments[separator + 1]);
  if (argument == nullptr || !argument->completion.isCustom()) {
    return {};
  }
  std::size_t next = separator + 2;
  int wordIndex = 0;
  int cursorOffset = 0;
  if (argument->completion.kind() != CompletionKind::Kind::customDeprecated) {
    wordIndex = next < arguments.size() ? integerOr(arguments[next], 0) : 0;
    cursorOffset = next + 1 < arguments.size() ? integerOr(arguments[next + 1], 0) : 0;
    next += 2;
  }
  std::vector<std::string> words;
  if (next < arguments.size()) {
    words.assign(arguments.begin() + static_cast<std::ptrdiff_t>(next), arguments.end());
  }
  ServedShellScope scope(completionShellFromRaw(environment("SAP_SHELL")),
                         environment("SAP_SHELL_VERSION"));
  std::string response;
  auto candidates = argument->completion.complete(words, wordIndex, cursorOffset);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    response += (i == 0 ? "" : "\n") + candidates[i];
  }
  return response;
}

}  // namespace argparse
