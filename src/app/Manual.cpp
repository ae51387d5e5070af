#include "app/Manual.h"

// Where the installation puts the completion scripts; the build says.
#ifndef KESTRUNE_VERSION
#define KESTRUNE_VERSION "unknown"
#endif
#ifndef KESTRUNE_BASH_COMPLETIONS_DIR
#define KESTRUNE_BASH_COMPLETIONS_DIR "/usr/local/share/bash-completion/completions"
#endif
#ifndef KESTRUNE_ZSH_COMPLETIONS_DIR
#define KESTRUNE_ZSH_COMPLETIONS_DIR "/usr/local/share/zsh/site-functions"
#endif
#ifndef KESTRUNE_FISH_COMPLETIONS_DIR
#define KESTRUNE_FISH_COMPLETIONS_DIR "/usr/local/share/fish/vendor_completions.d"
#endif

namespace kestrune {

argparse::Manual manual() {
  return {
      .source = "kestrune " KESTRUNE_VERSION,
      .sections = {
          {.title = "OUTPUT",
           .paragraphs =
               {"Names come from other programs: an app's name, a device's description, a "
                "player's title, artist and album, a Bluetooth device's alias. In the text "
                "output each character in them that would act on the terminal, break a record "
                "in two or make a name show as another is written as one of the escapes below, "
                "so that a record stays on one line and nothing reaches the terminal as a "
                "command. Only the text of names holding such characters departs from the "
                "plain text; a backslash prints as it is. --json prints every name unchanged "
                "(JSON escapes its control characters)."},
           .entries =
               {{"\\a \\b \\t \\n \\v \\f \\r \\e",
                 "Bell, backspace, tab, line feed, vertical tab, form feed, carriage return and "
                 "escape."},
                {"\\xNN",
                 "The other control characters of ASCII, DEL, and a byte that is not UTF-8, in "
                 "two hexadecimal digits."},
                {"\\uNNNN",
                 "The C1 control characters (U+0080 to U+009F), the line and paragraph "
                 "separators (U+2028, U+2029) and the bidirectional controls (U+061C, U+200E, "
                 "U+200F, U+202A to U+202E, U+2066 to U+2069), in four hexadecimal digits."}}},
          {.title = "EXIT STATUS",
           .paragraphs =
               {"A failure that Kestrune itself reports is printed as \"Error: \" and its "
                "message and still exits with 0. Status 1 means that Kestrune could not be "
                "reached or answered badly, or that a completion file could not be "
                "written."}},
          {.title = "ENVIRONMENT",
           .entries =
               {{"XDG_DATA_HOME",
                 "The socket is looked for under it, in Kestrune/cli.sock; when it is unset, "
                 "under ~/.local/share."}}},
          {.title = "FILES",
           .entries =
               {{"$XDG_DATA_HOME/Kestrune/cli.sock",
                 "The socket of the running application (kestruned, or kestrune-sim), used unless "
                 "--socket names another; ~/.local/share/Kestrune/cli.sock when XDG_DATA_HOME is "
                 "unset."},
                {"/tmp/kestrune_cli.sock", "The socket used when no home directory can be found."},
                {KESTRUNE_BASH_COMPLETIONS_DIR "/kestrune",
                 "The bash completion script, loaded by bash-completion when kestrune is first "
                 "completed. Without an installation, load the output of "
                 "\"kestrune --generate-completion-script bash\" from ~/.bashrc."},
                {KESTRUNE_ZSH_COMPLETIONS_DIR "/_kestrune",
                 "The zsh completion script, found by compinit."},
                {KESTRUNE_FISH_COMPLETIONS_DIR "/kestrune.fish", "The fish completion script."},
                {"~/.zsh/completions/_kestrune",
                 "Written by \"kestrune completions zsh install\" and removed by \"kestrune "
                 "completions zsh uninstall\"."},
                {"~/.config/fish/completions/kestrune.fish",
                 "Written by \"kestrune completions fish install\" and removed by \"kestrune "
                 "completions fish uninstall\"."}}},
          {.title = "SEE ALSO",
           .references = {"kestruned(1)", "kestrune-sim(1)", "bash(1)", "zsh(1)", "fish(1)"}},
      }};
}

}  // namespace kestrune
