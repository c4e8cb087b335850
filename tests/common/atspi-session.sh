#!/bin/sh
# Runs one test in a session bus of its own that carries the accessibility
# bus screen readers listen on, so the program's announcements travel the
# same AT-SPI road they take on a user's desktop.
exec dbus-run-session -- sh -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    launcher=$!
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$@"
    status=$?
    kill "$launcher" 2>/dev/null
    exit "$status"' sh "$@"
