#!/bin/sh
# Runs a program without address-space randomisation where the machine allows
# that (a container may not), else as it is: the sanitizer runtimes of this
# toolchain cannot always place their shadow memory under full randomisation.
#
# usage: no_aslr.sh <program> [arguments]
arch=$(uname -m)
if setarch "$arch" -R true 2>/dev/null; then
    exec setarch "$arch" -R "$@"
fi
exec "$@"
