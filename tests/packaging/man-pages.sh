#!/usr/bin/env bash
# Checks each manual page against its program: every option that `PROGRAM --help` prints appears in
# the rendered page, the page has the sections a user looks for, and groff has nothing to warn about.
# Usage: man-pages.sh PAGE PROGRAM [PAGE PROGRAM]...
# Also: man-pages.sh --completion FILE PROGRAM checks that a bash completion offers every option and
# command that the program's --help lists.
set -uo pipefail

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Options in a help text: a word of one or two dashes and a letter, at the start of a line (after
# blanks) or after a blank, comma, bracket or bar.
options_of() {
    grep -oE '(^|[[:space:],[(|])--?[A-Za-z][A-Za-z0-9-]*' | sed -E 's/^[^-]*//' | sort -u
}

if [ "${1:-}" = --completion ]; then
    completion=$2 program=$3
    help=$("$program" --help 2>&1) || fail "$program --help failed"
    for option in $(options_of <<<"$help"); do
        grep -qE -- "(^|[[:space:]'\"])$option([[:space:]'\"|)]|$)" "$completion" ||
            fail "$completion does not offer $option"
    done
    # Commands: the first word of each line of the Commands section.
    commands=$(sed -n '/^Commands:/,/^$/p' <<<"$help" | sed -nE 's/^  ([a-z][a-z-]*).*/\1/p' | sort -u)
    [ -n "$commands" ] || fail "no commands found in $program --help"
    for command in $commands; do
        grep -qE "(^|[[:space:]'])$command([[:space:]']|$)" "$completion" ||
            fail "$completion does not offer the command $command"
    done
    [ $failures -eq 0 ] && echo "ok: $completion"
    exit $((failures > 0))
fi

while [ $# -ge 2 ]; do
    page=$1 program=$2
    shift 2
    name=$(basename "$program")
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -E ascii -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page: groff warns: $warnings"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E ascii -l "$page" 2>/dev/null)
    [ -n "$text" ] || fail "$page renders to nothing"
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES; do
        grep -qx "$section" <<<"$text" || fail "$page has no section $section"
    done
    help=$("$program" --help 2>&1) || fail "$name --help failed"
    count=0
    for option in $(options_of <<<"$help"); do
        count=$((count + 1))
        grep -qE -- "(^|[^A-Za-z0-9-])$option([^A-Za-z0-9-]|$)" <<<"$text" ||
            fail "$page does not mention $option, which $name --help prints"
    done
    [ $count -gt 0 ] || fail "no options found in $name --help"
    echo "checked $page: $count options of $name"
done

[ $failures -eq 0 ] || exit 1
echo "all pages agree with their programs"
