#!/bin/bash
# Tear-down leaves nothing behind, and both scripts may run twice. Leaves the
# lab standing, as the other lab tests expect.
#   lifecycle.sh BUILD_DIR
source "$(dirname "$0")/common.sh"
build_dir=${1:?usage: lifecycle.sh BUILD_DIR}

check "lab/down removes everything" "^lab: down" "$LAB_DIR/down" --check
check "lab/down runs again on nothing" "^lab: down" "$LAB_DIR/down" --check
check "lab/up builds the lab afresh" "^lab: up " "$LAB_DIR/up" --build-dir "$build_dir"
check "lab/up on a standing lab leaves it be" "^lab: already up" "$LAB_DIR/up" --build-dir "$build_dir"
check "and it works: the primary STUN server answers" "^answer=257" probe stun "$STUN1_IP"
finish
