#!/bin/bash
# Makes docs/call.png: two test-mode peers (fake camera) on test hosts, each on
# its own Xvfb display, in a call; writes a screenshot of the caller's screen to $1.
# Needs root, a built tree (build/), Xvfb and ImageMagick.
set -u
mkdir -p "${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}"
root=$(cd "$(dirname "$0")/.." && pwd)
peer=$root/build/tests/e2e/vocalyn_peer
out=$1
prefix=vshot
$root/tools/testnet.sh up $prefix >/dev/null
trap '$root/tools/testnet.sh down $prefix >/dev/null; kill $X1 $X2 2>/dev/null' EXIT
Xvfb :91 -screen 0 1280x1024x24 >/dev/null 2>&1 & X1=$!
Xvfb :92 -screen 0 1280x1024x24 >/dev/null 2>&1 & X2=$!
sleep 1
for who in Alice Bob; do
  d=${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}/$who; rm -rf $d; mkdir -p $d
  printf '[Settings]\r\nRingTime=10\r\nMessage=%s is away\r\nCallerID=%s\r\n' $who $who > $d/Settings.ini
  : > $d/IPAddress.dat
done
mkfifo ${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}/a.in ${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}/b.in 2>/dev/null
DISPLAY=:91 QT_QPA_PLATFORM=xcb ip netns exec $prefix-a $peer ${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}/Alice < ${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}/a.in > ${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}/a.out 2>&1 &
DISPLAY=:92 QT_QPA_PLATFORM=xcb ip netns exec $prefix-b $peer ${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}/Bob < ${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}/b.in > ${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}/b.out 2>&1 &
exec 3>${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}/a.in 4>${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}/b.in
sleep 3
echo "type 198.18.0.2" >&3; echo "click call" >&3
sleep 2
echo "click call" >&4
sleep 4
import -display :91 -window root "$out"
echo quit >&3; echo quit >&4
sleep 1
cat ${VOCALYN_SHOT_DIR:-/tmp/vocalyn-shot}/a.out | tail -3
