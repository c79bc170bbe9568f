#!/bin/sh
# install-layout.sh <program folder's ZAVO.gui> <copy of what was put there last> <built layout>
#                   [older copies...]
# Puts the built layout into the program folder unless the file there is the
# user's: the layout editor saved it. That is a file that is neither the
# built layout nor any copy the build kept of what it put there. Builds
# before the copy lay beside the program kept it under generated/: a folder
# of theirs has only that one, and the file equal to it is still the
# build's, to be replaced by a new built layout. With no copy at all (a
# program folder from before any was kept) a file that is not the built
# layout is the user's.
target=$1 record=$2 built=$3
shift 3
user=no
if [ -e "$target" ] && ! cmp -s "$target" "$built"; then
    user=yes
    for copy in "$record" "$@"; do
        if [ -e "$copy" ] && cmp -s "$target" "$copy"; then user=no; fi
    done
fi
if [ $user = yes ]; then
    echo "$target was saved from the layout editor and is kept; the built layout is $built"
else
    cp "$built" "$target.tmp" && mv "$target.tmp" "$target" && cp "$built" "$record.tmp" && mv "$record.tmp" "$record"
fi
