#!/bin/sh
# install-layout.sh <program folder's ZAVO.gui> <copy of what was put there last> <built layout>
# Puts the built layout into the program folder unless the file there is not
# the one the build put there last: the layout editor saved it, and it is
# the user's.
if [ -e "$1" ] && [ -e "$2" ] && ! cmp -s "$1" "$2"; then
    echo "$1 was saved from the layout editor and is kept; the built layout is $3"
else
    cp "$3" "$1.tmp" && mv "$1.tmp" "$1" && cp "$3" "$2"
fi
