#!/bin/sh
# Stands in for the user's program: records how it was started (session id, standard input, the
# sound-server properties it was given, then its arguments NUL-separated, written last so a reader
# that sees them sees everything).
out="${KALVO_TEST_STARTS:?}/start-$$"
cut -d' ' -f6 /proc/$$/stat > "$out.sid"
readlink /proc/$$/fd/0 > "$out.stdin"
printf '%s' "${PULSE_PROP-<unset>}" > "$out.pulse"
printf '%s\0' "$@" > "$out.tmp"
mv "$out.tmp" "$out.args"
