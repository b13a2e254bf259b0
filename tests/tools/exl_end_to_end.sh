#!/usr/bin/env bash
# exl over a file of lines, with the plug-ins loaded from the default service configuration beside
# the program: values, errors with line numbers, --keep-going, a bad configuration.
set -u
exl="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
passes=0

check() { # name expected actual
    if [ "$2" != "$3" ]; then
        printf 'FAIL %s\n--- expected\n%s\n--- actual\n%s\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    else
        printf 'ok   %s\n' "$1"
        passes=$((passes + 1))
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

# Bounds: an expression file of at most 1 MiB, input lines of at most 4000 characters.
{ printf 'lineno'; head -c $((1048576 - 6)) /dev/zero | tr '\0' ' '; } > "$work/at-limit.exl"
check "an expression file at the limit" "1" "$(echo x | "$exl" -f "$work/at-limit.exl" 2>&1)"
printf ' ' >> "$work/at-limit.exl"
echo x | "$exl" -f "$work/at-limit.exl" 2>"$work/err" >/dev/null; status=$?
check "an expression file one past the limit" "2 exl: $work/at-limit.exl is longer than 1048576 bytes" \
    "$status $(head -1 "$work/err")"
"$exl" -f /dev/zero < /dev/null 2>"$work/err" >/dev/null; status=$?
check "an endless expression file" "2 exl: /dev/zero is longer than 1048576 bytes" "$status $(head -1 "$work/err")"
{ echo a; head -c 4000 /dev/zero | tr '\0' x; echo; head -c 4001 /dev/zero | tr '\0' y; echo; echo b; } > "$work/long"
out="$("$exl" -e 'lineno + ":" + sed(line, "s/xx*/X/")' < "$work/long" 2>"$work/err")"; status=$?
check "a line past the limit stops the run" "1:a 2:X 1 exl: line 3 is longer than 4000 characters" \
    "$(echo $out) $status $(cat "$work/err")"
out="$("$exl" -k -e 'lineno + ":" + sed(line, "s/xx*/X/")' < "$work/long" 2>"$work/err")"; status=$?
check "--keep-going drops a line past the limit" "1:a 2:X 4:b 1 exl: line 3 is longer than 4000 characters" \
    "$(echo $out) $status $(cat "$work/err")"
out="$("$exl" -e 'lineno' < /dev/zero 2>"$work/err")"; status=$?
check "an endless line" "1 exl: line 1 is longer than 4000 characters" "$status $(cat "$work/err")"

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

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
