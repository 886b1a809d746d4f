#!/bin/sh
# Streams the application's log lines in this terminal window until the window is closed.
# The application logs to the journal under this identifier (journald keeps none with blanks)
# and appends the same lines to a file in the user's state folder. The journal is followed
# when it holds lines of ours; otherwise, as where journald does not run, the file.
identifier="orvane-storage-gateway"
log_file="${XDG_STATE_HOME:-$HOME/.local/state}/com.velmora.OrvaneStorageGatewayApp/application.log"

if command -v journalctl >/dev/null 2>&1 &&
   journalctl --quiet --lines=1 --identifier="$identifier" 2>/dev/null | grep -q .; then
  exec journalctl --follow --lines=200 --identifier="$identifier"
fi
printf '%s\n\n' "Application log: $log_file"
exec tail -n 200 -F "$log_file"
