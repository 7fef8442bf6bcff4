#!/usr/bin/env bash
# The picture of picture.sh on an 8-bit palettised screen: the same regions in the same
# colours (the fixed palette holds the overlay's pure colours exactly), nothing said on
# standard error.
# Arguments: <game-exe> <source-dir> <work-dir>.
screen_depth=8
. "$2/tests/e2e/picture.sh"
