#!/usr/bin/env bash
# exl over a file of lines, with the plug-ins loaded from the default service configuration beside
# the program: values, errors with line numbers, --keep-going, a bad configuration.
set -u
exl="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

check() { # name expected actual
    if [ "$2" != "$3" ]; then
        printf 'FAIL %s\n--- expected\n%s\n--- actual\n%s\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    else
        printf 'ok   %s\n' "$1"
    fi
}

printf '%s\n' 'GET /foo/index.html' 'POST /foo' 'GET /bar?foo=1' '' 'get /foo' > "$work/access.log"

check "sed over every line" "$(printf '%s\n' 'GET /bar/index.html' 'POST /bar' 'GET /bar?bar=1' '' 'get /bar')" \
    "$("$exl" -e 'sed(line, "s/foo/bar/g")' < "$work/access.log")"

check "match with the line number" "$(printf '%s\n' false false true false false)" \
    "$("$exl" -e 'match(line, "^GET ") && lineno > 1' < "$work/access.log")"

printf '%s' 'lineno + "> " + sed(line, "s/^\\([A-Z][A-Z]*\\) \\(.*\\)/\\2 (\\1)/")' > "$work/expr"
check "expression from a file" "$(printf '%s\n' '1> /foo/index.html (GET)' '2> /foo (POST)' '3> /bar?foo=1 (GET)' '4> ' '5> get /foo')" \
    "$("$exl" -f "$work/expr" < "$work/access.log" 2>&1)"

out="$("$exl" -e '10 / (lineno - 2)' < "$work/access.log" 2>"$work/err")"; status=$?
check "an error stops the run" "-10 1" "$(echo $out) $status"
check "the error names its line" "exl: line 2: Division by zero" "$(cat "$work/err")"

out="$("$exl" --keep-going -e 'sed(line, "s/foo/X/;/POST/s/x/")' < "$work/access.log" 2>"$work/err")"; status=$?
check "keep going after a compile error" "1" "$status"
check "every failed line is reported" "5" "$(grep -c '^exl: line [0-9]*: sed: garbled command' "$work/err")"

check "q ends the input" "0" "$("$exl" -e 'sed(line, "2q")' < "$work/access.log" >/dev/null; echo $?)"

"$exl" -e 'match(line)' < "$work/access.log" 2>"$work/err" >/dev/null; status=$?
check "wrong argument count is refused before reading" "2 exl: wrong number of arguments for match" "$status $(cat "$work/err")"

"$exl" -e 'sed(line, ' < "$work/access.log" 2>"$work/err" >/dev/null; status=$?
check "syntax error" "2 exl: syntax error at position 11: expression expected, found the end" "$status $(cat "$work/err")"

python3 -c "print('+'.join(['1'] * 100000))" > "$work/deep.exl"
echo x | "$exl" -f "$work/deep.exl" 2>"$work/err" >/dev/null; status=$?
check "a deep expression is refused, not a crash" \
    "2 exl: syntax error at position 2002: expression nested deeper than 1000 levels" "$status $(cat "$work/err")"

conf="$(dirname "$exl")/exl.conf"
sed 's/-funcPluginManager FunctionPluginManager/-funcPluginManager Missing/' "$conf" > "$work/bad.conf"
"$exl" -c "$work/bad.conf" -e 'line' < "$work/access.log" 2>"$work/err" >/dev/null; status=$?
check "unknown manager" "2" "$status"
check "unknown manager is named" "1" "$(grep -c "Quaystone::init_dependencies() : Can't find Missing" "$work/err")"

check "help documents the functions" "2" "$("$exl" --help | grep -c -E '^  (match|sed)\(')"

# Run from another directory: no svc.conf of the current directory is read.
printf 'garbage directive\n' > "$work/svc.conf"
check "ignores ./svc.conf" "x" "$(cd "$work" && echo x | "$exl" -e 'line')"

# The configurator leaves SIGHUP alone: it still ends the program.
"$exl" -e 'line' < <(exec sleep 5 2>/dev/null) > /dev/null 2>&1 &
pid=$!
sleep 0.5
kill -HUP "$pid"
wait "$pid"
check "SIGHUP keeps its default action" "129" "$?"

echo "$((15 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
