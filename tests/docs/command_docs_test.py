#!/usr/bin/env python3
"""The command's documents held to its --help. For every subcommand (catalog's too), every option
its help lists is in its section of the man page and is what the bash, zsh and fish completions
offer, as each shell runs them; the help names values in words; the man page renders without
warnings; the bash completion offers files, folders or words where each is taken.

usage: command_docs_test.py COMMAND SOURCE_DIR [unittest arguments]"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

COMMAND = SOURCE = None

# What CLI11 prints of its parsers when an option has no placeholder of its own.
PARSER_WORDS = re.compile(r"\b(TEXT|INT|UINT|FLOAT|NUMBER|BOOLEAN|ENUM|REQUIRED|Excludes|Needs)\b|[A-Z]+:[A-Z]+|"
                          r"\[b, kb| in \[")

BASH_COMPLETION = "/usr/share/bash-completion/bash_completion"
# Loads the completion as bash-completion loads it on first use, then runs it as bash does on a
# TAB at the end of the line $1, split into the words after it, and prints COMPREPLY.
BASH_QUERY = r"""
source "$BASH_COMPLETION" || exit 3
__load_completion corvane || { echo "bash-completion found no completion for corvane" >&2; exit 3; }
registered=$(complete -p corvane) && function=${registered#*-F } && function=${function%% *}
COMP_LINE=$1 COMP_POINT=${#1}
shift
COMP_WORDS=("$@") COMP_CWORD=$(($# - 1))
"$function" corvane "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
printf '%s\n' "${COMPREPLY[@]}"
"""

# Types the line $2 into an interactive zsh that autoloads completions from $1, presses TAB and
# prints every match the completion adds. Matches and the end are printed through escapes, so
# that the terminal's echo of these very lines never passes for them.
ZSH_QUERY = r"""
zmodload zsh/zpty
zpty z zsh -f -i
zpty -w z "PROMPT= ; fpath=($1 \$fpath); autoload -U compinit; compinit -u -D"
zpty -w z 'compadd () {
  if [[ ${@[1,(i)(-|--)]} == *-(O|A|D)\ * ]]; then builtin compadd "$@"; return $?; fi
  typeset -a hits; builtin compadd -A hits "$@"
  local h; for h in $hits; do print -r -- $'"'"'\x3c\x3c'"'"'$h$'"'"'\x3e\x3e'"'"'; done
}'
zpty -w z 'done-line () { print -r -- $'"'"'\x3c\x3cDONE\x3e\x3e'"'"'; }; zle -N done-line
bindkey "^X" done-line; bindkey "^I" complete-word'
zpty -n -w z "$2"$'\t\x18'
local line
while zpty -r z line; do
  [[ $line == *'<<DONE>>'* ]] && break
  [[ $line == *'<<'*'>>'* ]] && { line=${line#*<<}; print -r -- ${line%%>>*} }
done
zpty -d z
"""


def run(arguments, **options):
    return subprocess.run(arguments, capture_output=True, text=True, timeout=60, **options)


def help_groups(text):
    """The help's groups, {"Options": [lines], "Common options": [...], "Subcommands": [...]}."""
    groups, current = {}, None
    for line in text.splitlines():
        if re.match(r"^\S.*:$", line):
            current = groups.setdefault(line[:-1], [])
        elif current is not None and line.startswith("  "):
            current.append(line)
    return groups


def options_in(lines):
    names = []
    for line in lines:
        match = re.match(r"^  (-[^\s,]+(?:,-[^\s,]+)*)", line)
        if match:
            names += match.group(1).split(",")
    return names


def man_sections(roff):
    """The man page's sections and subsections, {name: text}, with roff's escapes for hyphens
    and fonts undone; a heading "fingerprint, hash" names two."""
    sections, name = {}, None
    for line in roff.splitlines():
        heading = re.match(r'^\.S[HS]\s+"?([^"]*)"?\s*$', line)
        if heading:
            names = [n.strip() for n in heading.group(1).split(",")]
            for n in names:
                sections[n] = ""
            name = names
            continue
        if name:
            text = re.sub(r"\\f[BIRP]|\\&", "", line.replace("\\-", "-")) + "\n"
            for n in name:
                sections[n] += text
    return sections


def mentions(text, option):
    return re.search(r"(?<![\w-])" + re.escape(option) + r"(?![\w-])", text) is not None


def tagged_options(section):
    """The options a section describes: those in the tags of its .TP paragraphs."""
    lines = section.splitlines()
    found = set()
    for i, line in enumerate(lines[:-1]):
        if line.startswith(".TP"):
            found.update(re.findall(r"(?<![\w-])(--?[\w][\w-]*)", lines[i + 1]))
    return found


def bash_words(line):
    """The words bash hands a completion for the line, split where COMP_WORDBREAKS splits."""
    words = re.findall(r"[^\s=:]+|[=:]+", line)
    if not line or line[-1].isspace():
        words.append("")
    return words


class CommandDocs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="corvane-docs-")
        # Where bash-completion looks for a user's completions first.
        os.makedirs(os.path.join(cls.work, "bash", "completions"))
        shutil.copy(os.path.join(SOURCE, "completion", "corvane"), os.path.join(cls.work, "bash", "completions"))
        os.makedirs(os.path.join(cls.work, "zsh"))
        shutil.copy(os.path.join(SOURCE, "completion", "_corvane"), os.path.join(cls.work, "zsh"))
        with open(os.path.join(cls.work, "zsh_query"), "w") as f:
            f.write(ZSH_QUERY)
        # A folder to complete names in: a file, a folder and a library file.
        cls.names = os.path.join(cls.work, "names")
        os.makedirs(os.path.join(cls.names, "folder"))
        for name in ("file.txt", "libother.so.1"):
            open(os.path.join(cls.names, name), "w").close()

        # Every subcommand, found through the help itself, with the options it lists.
        cls.commands = {}
        pending = [()]
        while pending:
            path = pending.pop(0)
            result = run([COMMAND, *path, "--help"])
            assert result.returncode == 0, (path, result.stderr)
            groups = help_groups(result.stdout)
            common = options_in(groups.get("Common options", []))
            own = [o for g, lines in groups.items() if g != "Common options" for o in options_in(lines)]
            subcommands = [line.split()[0] for line in groups.get("Subcommands", [])]
            cls.commands[path] = {"help": result.stdout, "own": own, "common": common, "subcommands": subcommands}
            pending += [path + (s,) for s in subcommands]
        with open(os.path.join(SOURCE, "man", "corvane.1")) as f:
            cls.man = man_sections(f.read())

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def need(self, program, package):
        if shutil.which(program) is None or (program == "bash" and not os.path.exists(BASH_COMPLETION)):
            if os.environ.get("CI"):
                self.fail(f"{package} is not installed")
            self.skipTest(f"{package} is not installed")

    def bash(self, line):
        self.need("bash", "bash-completion")
        env = dict(os.environ, BASH_COMPLETION=BASH_COMPLETION,
                   BASH_COMPLETION_USER_DIR=os.path.join(self.work, "bash"))
        result = run(["bash", "-c", BASH_QUERY, "bash", line, *bash_words(line)], cwd=self.names, env=env)
        self.assertEqual(result.returncode, 0, f"{line!r}: {result.stderr}")
        return set(result.stdout.split())

    def zsh(self, line):
        self.need("zsh", "zsh")
        result = run(["zsh", "-f", os.path.join(self.work, "zsh_query"), os.path.join(self.work, "zsh"), line],
                     cwd=self.names, env=dict(os.environ, HOME=self.work))
        self.assertEqual(result.returncode, 0, f"{line!r}: {result.stderr}")
        return set(result.stdout.split())

    def fish(self, line):
        self.need("fish", "fish")
        result = run(["fish", "--no-config", "-c", 'source $argv[1]; complete -C $argv[2]',
                      os.path.join(SOURCE, "completion", "corvane.fish"), line],
                     cwd=self.names, env=dict(os.environ, HOME=self.work))
        self.assertEqual(result.returncode, 0, f"{line!r}: {result.stderr}")
        return {candidate.split("\t")[0] for candidate in result.stdout.splitlines()}

    def test_every_option_of_every_help_is_in_the_man_page_and_the_completions(self):
        common_section = self.man["COMMON OPTIONS"]
        all_common = set()
        for path, command in self.commands.items():
            name = " ".join(path)
            # -h and --help are common to all, and told once with the others.
            own = [o for o in command["own"] if o not in ("-h", "--help")]
            common = command["common"] + ["-h", "--help"]
            all_common.update(common)
            section = self.man.get(name) if path else common_section
            with self.subTest(subcommand=name or "corvane", check="man page"):
                self.assertIsNotNone(section, f"the man page has no section '{name}'")
                self.assertEqual([o for o in own if not mentions(section, o)], [],
                                 f"'corvane {name} --help' lists options the man page does not tell")
                if path:
                    self.assertEqual(tagged_options(section) - set(own), set(),
                                     f"the man page's '{name}' tells of options its help lacks")
            line = " ".join(("corvane", *path, "-"))
            for shell in (self.bash, self.zsh, self.fish):
                with self.subTest(subcommand=name or "corvane", check=shell.__name__):
                    offered = {c for c in shell(line) if c.startswith("-")}
                    self.assertEqual(offered, set(own + common), line)
                    if command["subcommands"]:
                        offered = shell(" ".join(("corvane", *path, "")))
                        self.assertEqual(offered - {"help"}, set(command["subcommands"]), "subcommands")
        with self.subTest(subcommand="common options", check="man page"):
            self.assertEqual(tagged_options(common_section), all_common | set(self.commands[()]["own"]))

    def test_help_names_values_in_words(self):
        for path, command in self.commands.items():
            with self.subTest(subcommand=" ".join(path) or "corvane"):
                self.assertEqual([line for line in command["help"].splitlines() if PARSER_WORDS.search(line)], [])

    def test_bash_offers_files_folders_and_words_where_they_are_taken(self):
        files = {"file.txt", "folder", "libother.so.1"}
        everything = {"fingerprint", "hash", "dupes", "assets", "albums", "in-album", "call", "catalog"}
        cases = [
            ("corvane hash ", files),
            ("corvane -q fingerprint -j 4 ", files),
            ("corvane hash -c ", files),
            ("corvane dupes -r ", files),
            ("corvane dupes --library ", {"folder"}),
            ("corvane dupes --library=", {"folder"}),
            ("corvane assets --library ", {"folder"}),
            ("corvane catalog scan --library ", {"folder"}),
            ("corvane catalog scan archive.catalog ", {"folder"}),
            ("corvane catalog scan ", files),
            ("corvane catalog diff a.catalog ", files),
            ("corvane catalog merge all.catalog ", files),
            ("corvane --plugin ", {"folder", "libother.so.1"}),
            ("corvane hash -j ", set()),
            ("corvane dupes --min-size ", set()),
            ("corvane assets --album ", set()),
            ("corvane in-album ", set()),
            ("corvane call ", {"getPlatformVersion", "fingerprintOfFile", "hashFile", "fingerprintOfVideoAsset",
                               "hashAsset", "getIfAssetExistInAlbum"}),
            ("corvane call hashFile ", files),
            ("corvane help ", everything),
            ("corvane help catalog ", {"scan", "verify", "diff", "export", "merge", "roots", "forget", "where"}),
            ("corvane --plugin lib.so ", everything | {"help"}),
        ]
        for line, expected in cases:
            with self.subTest(line=line):
                self.assertEqual(self.bash(line), expected)

    def test_the_man_page_renders_without_warnings(self):
        self.need("man", "man-db")
        result = run(["man", "--warnings", "-l", os.path.join(SOURCE, "man", "corvane.1")],
                     env=dict(os.environ, MANWIDTH="80", MAN_KEEP_FORMATTING="", MANPAGER="cat", PAGER="cat"))
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertIn("SEE ALSO", result.stdout)


if __name__ == "__main__":
    COMMAND, SOURCE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0], *sys.argv[3:]], verbosity=2)
