#!/bin/sh
# End-to-end checks of qsed: output, carried state, exit codes and messages.
# Usage: qsed_test.sh PATH-TO-QSED
qsed=$1
failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# check NAME EXPECTED-STATUS EXPECTED-STDOUT EXPECTED-STDERR INPUT qsed-arguments...
check() {
    name=$1 status=$2 out=$3 err=$4 input=$5
    shift 5
    printf '%b' "$input" | "$qsed" "$@" >"$scratch/out" 2>"$scratch/err"
    got=$?
    printf '%b' "$out" >"$scratch/want-out"
    printf '%b' "$err" >"$scratch/want-err"
    if [ "$got" != "$status" ] || ! cmp -s "$scratch/out" "$scratch/want-out" || ! cmp -s "$scratch/err" "$scratch/want-err"; then
        echo "FAIL $name: status $got (want $status)"
        echo "  stdout: $(od -c "$scratch/out" | head -5)"
        echo "  stderr: $(cat "$scratch/err")"
        failures=$((failures + 1))
    fi
}

check substitute 0 'hell0\nw0rld\n' '' 'hello\nworld\n' -e 's/o/0/g'
check last-line-without-newline 0 'a!\nb!\n' '' 'a\nb' -e 's/$/!/'
check empty-input 0 '' '' '' -e 'p'
check deleted-line 0 'b\n' '' 'a\nb\n' -e '/a/d'
check empty-result 0 '\nb\n' '' 'a\nb\n' -e 's/a//'
check delete-first-with-nothing-left 0 'b\n' '' 'a\nb\n' -e '/a/D'
check last-line-address 0 'a\nb\nc!\n' '' 'a\nb\nc\n' -e '$s/$/!/'
check line-numbers-and-ranges 0 'a\n>b\n>c\nd\n' '' 'a\nb\nc\nd\n' -e '2,3s/^/>/'
check hold-carries 0 '\na\nb\nc\n' '' 'a\nb\nc\n' -e 'H;$!d;x'
check print-comes-first 0 'a\na\nb\nb\n' '' 'a\nb\n' -e 'p'
check p-flag 0 'x\nx\ny\n' '' 'a\ny\n' -e 's/a/x/p'
check several-e 0 'c\n' '' 'a\n' -e 's/a/b/' -e 's/b/c/'
check quit 0 'a\nb\n' '' 'a\nb\nc\n' -e '2q'
check compile-error 1 '' 'sed: garbled command s/a/\n' 'a\n' -e 's/a/'
check run-error 1 'a\n' 'sed: script runs too long\n' 'a\nb\n' -e '/b/{' -e ':a' -e 'ba' -e '}'
check usage 2 '' "$("$qsed" 2>&1 | sed 's/%/%%/g')\n" '' 
long=$(head -c 4001 /dev/zero | tr '\0' 'a')
check long-line 1 'ok\n' 'qsed: line 2 is longer than 4000 characters\n' "ok\n$long\nnext\n" -e 'p;d' 
check long-line-fits 0 "$(head -c 4000 /dev/zero | tr '\0' 'b')\n" '' "$(head -c 4000 /dev/zero | tr '\0' 'a')\n" -e 'y/a/b/'
check warning 0 "$(head -c 4000 /dev/zero | tr '\0' 'a')\n" 'sed: line too long\n' "$(head -c 3000 /dev/zero | tr '\0' 'a')\n" -e 's/a/aa/g'

full=$(head -c 4000 /dev/zero | tr '\0' 'f')
check next-append-on-a-full-last-line 0 "$full\n" '' "$full\n" -e 'N'
check write-stdout-in-order 0 'a\na\nb\nb\n' '' 'a\nb\n' -e 'w /dev/stdout'
check write-stdout-from-s 0 'B\nB\nc\n' '' 'b\nc\n' -e 's/b/B/w /dev/stdout'
check write-stderr 0 'a\n' 'a\n' 'a\n' -e 'w /dev/stderr'
check backreference-without-its-literal 0 "b$(head -c 400 /dev/zero | tr '\0' 'a')\n" '' \
    "b$(head -c 400 /dev/zero | tr '\0' 'a')\n" -e 's/\(a\)a*a*a*\1c/X/'
check work-bound 1 '' 'sed: RE too complex\n' "$(head -c 3998 /dev/zero | tr '\0' 'a')bc\n" -e 's/\(a*\)a*\1c/X/'

# Standard error after what came before it on standard output, when both go to one file.
if [ "$(printf 'a\nb\n' | "$qsed" -e 'w /dev/stderr' 2>&1)" != "$(printf 'a\na\nb\nb')" ]; then
    echo "FAIL w /dev/stderr order"
    failures=$((failures + 1))
fi

# Input read in blocks: lines across block boundaries, long lines, a last line without newline.
seq 1 300000 >"$scratch/numbers"
if ! "$qsed" -e '' <"$scratch/numbers" | cmp -s - "$scratch/numbers"; then
    echo "FAIL block reading"
    failures=$((failures + 1))
fi
if [ "$("$qsed" -e '$s/$/!/' <"$scratch/numbers" | tail -1)" != "300000!" ]; then
    echo "FAIL last line of a long input"
    failures=$((failures + 1))
fi
awk 'BEGIN { for (i = 0; i < 300; i++) { s = sprintf("%d", i); while (length(s) < 4000 - i % 3) s = s "x"; print s } }' \
    >"$scratch/long"
printf 'tail' >>"$scratch/long"
{ cat "$scratch/long"; echo; } >"$scratch/long-out"
# The last line gets its newline.
if ! "$qsed" -e '' <"$scratch/long" | cmp -s - "$scratch/long-out"; then
    echo "FAIL long lines across blocks"
    failures=$((failures + 1))
fi

printf 's/a/b/\n# comment\ns/b/c/\n' >"$scratch/script"
check script-file 0 'c\n' '' 'a\n' -f "$scratch/script"
check missing-script-file 2 '' "qsed: cannot read $scratch/none: No such file or directory\n" 'a\n' -f "$scratch/none"

# Script files: bounded by the engine's script limit, one final newline not counted.
head -c 3999 /dev/zero | tr '\0' '#' >"$scratch/script-at-limit"
check script-file-at-limit 0 'a\n' '' 'a\n' -f "$scratch/script-at-limit"
echo >>"$scratch/script-at-limit"
check script-file-at-limit-with-newline 0 'a\n' '' 'a\n' -f "$scratch/script-at-limit"
head -c 4000 /dev/zero | tr '\0' '#' >"$scratch/script-past-limit"
check script-file-past-limit 1 '' "qsed: script file $scratch/script-past-limit is longer than 3999 characters\n" \
    'a\n' -f "$scratch/script-past-limit"
check endless-script-file 1 '' 'qsed: script file /dev/zero is longer than 3999 characters\n' 'a\n' -f /dev/zero
check joined-script-past-limit 1 '' 'qsed: the script is longer than 3999 characters\n' 'a\n' \
    -f "$scratch/script-at-limit" -e p
printf 'p\0p\n' >"$scratch/script-nul"
check script-file-with-nul 1 '' "qsed: script file $scratch/script-nul holds a NUL character\n" 'a\n' -f "$scratch/script-nul"

# Input files: in order, line numbers and "$" across them, "-" for standard input, a last line
# without newline in the middle, an empty or unreadable file skipped and named, status 2 at the end.
printf 'a\n' >"$scratch/a"
printf 'b1\nb2' >"$scratch/b"
: >"$scratch/empty"
check files-in-order 0 'a\n>b1\n>b2\nin$\n' '' 'in\n' -e '2,3s/^/>/;$s/$/$/' "$scratch/a" "$scratch/b" - \
    "$scratch/empty"
check last-line-before-empty-files 0 'a\nb1\nb2!\n' '' '' -e '$s/$/!/' "$scratch/a" "$scratch/b" "$scratch/empty" -
check unreadable-files 2 'a\nb1\nb2!\n' \
    "qsed: cannot read $scratch/none: No such file or directory\nqsed: cannot read $scratch: Is a directory\n" \
    '' -e '$s/$/!/' "$scratch/none" "$scratch/a" "$scratch" "$scratch/b"
check quit-after-unreadable-file 2 'a\n' "qsed: cannot read $scratch/none: No such file or directory\n" \
    '' -e q "$scratch/none" "$scratch/a" "$scratch/b"
check dash-dash 2 'a\n' 'qsed: cannot read -e: No such file or directory\n' '' -e '' -- "$scratch/a" -e
{ echo ok; head -c 4001 /dev/zero | tr '\0' 'a'; } >"$scratch/too-long"
check long-line-in-a-file 1 'a\nok\n' "qsed: $scratch/too-long: line 2 is longer than 4000 characters\n" '' \
    -e '' "$scratch/a" "$scratch/too-long"
check deleted-lines-across-files 0 'b1\n' '' '' -e '1d;$d' "$scratch/a" "$scratch/b"
check script-from-stdin 0 'x\nx\n' '' 's/a/x/p\n' -f - "$scratch/a"

if ! "$qsed" --help | grep -q 'one text run through the same engine'; then
    echo "FAIL help text"
    failures=$((failures + 1))
fi

# w writes beside the input in order.
printf 'a\nb\n' | "$qsed" -e "w $scratch/w" >/dev/null
if [ "$(cat "$scratch/w")" != "$(printf 'a\nb')" ]; then
    echo "FAIL w file"
    failures=$((failures + 1))
fi

[ "$failures" = 0 ] && echo "all qsed checks passed"
exit "$failures"
