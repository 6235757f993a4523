#!/usr/bin/env bash
# Starts the viewer built in BUILD_DIR, as ./run does once it has built it:
#   scripts/start-viewer.sh BUILD_DIR [VIEWER ARGUMENTS...]
# With files named, on those files, where they are: relative names are taken from the
# folder this was started in. With none, on the bundled sample: its tree files are made
# once in sample-work/ beside BUILD_DIR, and the viewer starts there.
# On a terminal, the readers' "% loading" lines show as one line that is redrawn.
set -euo pipefail
build=$(cd "$1" && pwd)
shift
source=$(cd "$(dirname "$0")/.." && pwd)
viewer="$build/app/cladorama"

# A picture asked for by a relative name lands in the folder the user is in, also when
# the viewer starts in the sample's folder.
if [ -n "${CLADORAMA_SCREENSHOT:-}" ]; then
  CLADORAMA_SCREENSHOT=$(realpath -m -- "$CLADORAMA_SCREENSHOT")
  export CLADORAMA_SCREENSHOT
fi

# The readers print a progress line per branch, thousands for a large file. On a terminal
# they become one line with a bar, redrawn in place; every other byte passes at once
# (the viewer's key F asks for a name on a line without an end).
progress() {
  if [ ! -t 1 ]; then
    cat
    return
  fi
  perl -e '
    $| = 1;
    my ($held, $bar) = ("", 0);
    sub show {
      my ($line) = @_;
      if ($line =~ /^(\d+\.\d+) % loading\n$/) {
        my $n = int($1 / 2.5 + 0.5);
        $n = 40 if $n > 40;
        printf "\r  [%-40s] %5.1f %%", "#" x $n, $1;
        $bar = 1;
      } else {
        print "\n" if $bar;
        $bar = 0;
        print $line;
      }
    }
    while (sysread(STDIN, my $chunk, 65536)) {
      $held .= $chunk;
      while ($held =~ s/^([^\n]*\n)//) { show($1); }
      # A piece that cannot become a progress line is shown now, not at its line end.
      if ($held ne "" && $held !~ /^\d*(\.\d*)?( (%( (l(o(a(d(i(n(g)?)?)?)?)?)?)?)?)?)?$/) {
        print "\n" if $bar;
        $bar = 0;
        print $held;
        $held = "";
      }
    }
    print $held;
    print "\n" if $bar;
  '
}

# The files among the arguments (an option's value is none).
files=0
skip=0
for a in "$@"; do
  if [ "$skip" = 1 ]; then skip=0; continue; fi
  case "$a" in
    --common-name) skip=1 ;;
    -*) ;;
    *) files=$((files + 1)) ;;
  esac
done

if [ "$files" -eq 0 ]; then
  # The viewer reads T1.jm2 and T2.jm2 from its current folder; they are made from the two
  # classification files by the command-line tool's build mode, in a working copy of the
  # sample so that the source tree stays as it is.
  work=$(realpath -m -- "$build/../sample-work")
  mkdir -p "$work"
  cp -u "$source/data/sample/classif_A_03-01-31.xml" "$source/data/sample/classif_B_03-01-31.xml" "$work"/
  if [ ! -f "$work/T1.jm2" ] || [ ! -f "$work/T2.jm2" ]; then
    (cd "$work" && "$build/tools/cladorama-cli" build) | progress
  fi
  cd "$work"
fi

# On a terminal the viewer's lines pass through the progress line; it keeps its console
# lines on the terminal rather than in a window of its own.
run_viewer() {
  if [ -t 1 ]; then
    local console=(--no-console)
    for a in "$@"; do [ "$a" = --console ] && console=(); done
    "$@" "${console[@]}" | progress
  else
    exec "$@"
  fi
}

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  if [ -z "${CLADORAMA_SCREENSHOT:-}" ]; then
    echo "No display: starting on a virtual one (set CLADORAMA_SCREENSHOT=file.png to see it)." >&2
  fi
  export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/cladorama-xdg-XXXXXX)}
  run_viewer xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$viewer" "$@"
else
  run_viewer "$viewer" "$@"
fi
