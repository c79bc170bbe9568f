#!/bin/sh
# install-layout.sh <program folder's ZAVO.gui> <copy of what was put there last> <built layout>
# Puts the built layout into the program folder unless the file there is the
# user's: the layout editor saved it. That is a file that is not the copy the
# build put there last, or, with no such copy (a program folder from before
# the copy was kept there), one that is not the built layout either.
if [ -e "$1" ] && ! cmp -s "$1" "$3" && { [ ! -e "$2" ] || ! cmp -s "$1" "$2"; }; then
    echo "$1 was saved from the layout editor and is kept; the built layout is $3"
else
    cp "$3" "$1.tmp" && mv "$1.tmp" "$1" && cp "$3" "$2.tmp" && mv "$2.tmp" "$2"
fi
