#!/bin/sh
# Runs one test in a session bus of its own that carries the accessibility
# bus screen readers listen on, so the program's announcements travel the
# same AT-SPI road they take on a user's desktop.
#
# LeakSanitizer's check at exit stops every thread with ptrace; the AT-SPI
# bridge's D-Bus threads are still winding down then and now and again crash
# its tracer after every test has passed. The same windows are leak-checked
# by their offscreen tests, so this run leaves the leak check out.
exec dbus-run-session -- sh -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    launcher=$!
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$@"
    status=$?
    kill "$launcher" 2>/dev/null
    exit "$status"' sh "$@"
