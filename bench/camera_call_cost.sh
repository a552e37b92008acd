#!/bin/bash
# What a call costs: two copies of the real program on test hosts A and B, each with an emulated
# webcam (tests/v4l2cam), in a call with video both ways and voice on. For each side: CPU time
# per second of call (user + system, as a share of one core), pictures received per second,
# memory and open descriptors at the start and the end. At the same time, over the same window,
# the anchor: GStreamer pipelines doing the same job between the same hosts (v4l2src from the
# same emulated camera, JPEG at the program's quality over UDP both ways, Opus RTP both ways),
# so that both see the same load on the machine. Like the program, each side of the
# anchor also makes what a screen shows: the picture received as 640 x 480 32-bit pixels, and its
# own camera's as 176 x 144 (ANCHOR_SHOWS=0 leaves both out). Its JPEG transforms are
# GStreamer's defaults (libjpeg's fast ones); ANCHOR_DCT=program gives it the program's, and
# ANCHOR_VOICE=program the program's voice cleaning (webrtcdsp). Each side of either gets a sound
# server of its own (PulseAudio with a tone that breaks off for 100 ms once a second for a
# microphone and a null sink for a speaker), so that voice runs as it does for a user.
#
#   bench/camera_call_cost.sh [BUILD_DIR] [SECONDS] [SIZES]
#   TABLE=1 bench/camera_call_cost.sh [BUILD_DIR] [SECONDS] [SIZES]
#
# SIZES is a list such as "384x288 640x480" (the default). LOSS=PERMILLE loses that share of the
# UDP packets both ways (the anchor then reports the pictures it decoded per second);
# JITTER=MIN-MAX (ms) holds every IP packet between the hosts, both ways, for a random time in
# that range, so that packets overtake one another (bench_jitter_relay on a TUN device in each
# host; LOSS still applies where they arrive). The anchor's receivers then wait out the spread of
# the delays (a jitter buffer of MAX - MIN + 10 ms for pictures and voice; otherwise none for
# pictures and 20 ms for voice).
#
# For each line, the program and the anchor alike: pictures received per second and the longest
# stall (the longest the picture stood still) on each side; for A's voice at B, the share of the
# 10 ms blocks said into A's microphone that came out of B's speaker silent, the number of silent
# runs (gaps), and the mouth-to-ear time (how much later the tone's breaks came out than went in).
# TABLE=1 runs the whole line table in one go, a window of SECONDS (default 20) for each line,
# the program and the anchor side by side, SIZES 352x288 and SCENE=natural unless given: LOSS 0,
# 2, 5 and 10 % without jitter, then JITTER=20-60 with 0 and 2 % loss; some five minutes. With
# VOCALYN=PATH (see below) it measures an older build against the same anchor.
# SCENE=natural gives the cameras a room with a person in it, whose pictures are as large as a
# real webcam's, instead of the flat test pattern. PERF=1 also records where the time
# of A goes for 10 s (perf; PERF_RECORD gives other options than -g, such as
# "--call-graph dwarf" for the callers of a library without frame pointers); ANCHOR=0 leaves the
# anchor out (for long runs that watch memory and descriptors); IDLE=1 measures one copy
# previewing without a call instead, shown, minimised and hidden, against a GStreamer preview
# pipeline (measure_idle); KEEP=1 keeps the copies' folders and output; VOCALYN=PATH runs that
# executable instead of the tree's (to set an older build beside the anchor in the same run).
# Needs root (network namespaces) and a built tree with the targets vocalyn, v4l2cam,
# vocalyn_window_driver, bench_gst_anchor, bench_jitter_relay and bench_voice_gaps, and the
# pulseaudio server.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
if [ "${TABLE:-0}" = 1 ]; then
    seconds=${2:-20}
    sizes=${3:-352x288}
    SCENE=${SCENE:-natural}
else
    seconds=${2:-60}
    sizes=${3:-384x288 640x480}
fi
testnet=$root/tools/testnet.sh
prefix=vcc$$
tick=$(getconf CLK_TCK)

"$testnet" check "$prefix" || exit $?
work=$(mktemp -d /tmp/vocalyn-cost.XXXXXX)
pids=()
relays=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    "$testnet" down "$prefix"
    if [ "${KEEP:-0}" = 1 ]; then echo "the copies' folders and output stay in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
"$testnet" up "$prefix" || exit 1

# line PERMILLE JITTER: the line between the hosts from now on, for the program and the anchor
# alike. Each host drops PERMILLE of the UDP packets it receives, IP fragments one by one, before
# they are put together, as a busy Wi-Fi does. With JITTER (MIN-MAX ms), each host sends what it
# has for its peer through a relay of its own that holds each packet for a random time in that
# range; "" for none.
line() {
    local loss=$1 jitter=$2 host ns peer pid
    line_jitter=$jitter
    for pid in "${relays[@]}"; do kill "$pid" 2>/dev/null; done
    relays=()
    for host in a b; do
        ns=$prefix-$host
        peer=$("$testnet" addr "$([ "$host" = a ] && echo b || echo a)")
        ip netns exec "$ns" nft delete table ip vocalyn_loss 2>/dev/null
        if [ "$loss" -gt 0 ]; then
            echo "table ip vocalyn_loss { chain fragments { type filter hook prerouting" \
                "priority -500; policy accept; ip protocol udp numgen random mod 1000 < $loss drop; }; }" |
                ip netns exec "$ns" nft -f - || return 1
        fi
        ip -n "$ns" route del "$peer/32" 2>/dev/null
        [ -n "$jitter" ] || continue
        if ! ip -n "$ns" link show jitter > /dev/null 2>&1; then
            ip -n "$ns" tuntap add dev jitter mode tun && ip -n "$ns" link set jitter up || return 1
            # What comes back from the peer arrives on the cable, not where the way to it goes.
            ip netns exec "$ns" sysctl -qw net.ipv4.conf.all.rp_filter=0 \
                net.ipv4.conf.eth0.rp_filter=0 || return 1
        fi
        ip netns exec "$ns" "$build/bench/bench_jitter_relay" jitter eth0 "${jitter%-*}" \
            "${jitter#*-}" &
        relays+=($!)
        pids+=($!)
        sleep 0.2 # attached before the way to the peer leads there
        ip -n "$ns" route add "$peer/32" dev jitter src "$("$testnet" addr "$host")" || return 1
    done
}

# shellcheck source=tools/packages.sh
source "$root/tools/packages.sh"
"$root/tools/install-deps.sh" "${BENCH_PACKAGES[@]}" || exit 1

# start_sound DIR [SPEAKS]: a sound server of its own, its socket DIR/pulse.sock; the caller's
# programs find it through PULSE_SERVER. With SPEAKS (1), its microphone hears the notes of
# bench_voice_gaps; else nothing. Only A speaks, as one does while the other listens: B's speaker
# then plays A's voice alone, and neither echo canceller has double talk to sort out.
start_sound() {
    mkdir -p "$1"
    rm -f "$1/pulse.sock"
    HOME=$1 XDG_RUNTIME_DIR=$1 pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        -L "module-native-protocol-unix socket=$1/pulse.sock auth-anonymous=1" \
        -L "module-null-sink sink_name=speaker" \
        -L "module-null-sink sink_name=microphone" > "$1/pulse.log" 2>&1 &
    pids+=($!)
    sound_pid=$!
    # The tone reaches the programs through the monitor of a sink it plays into: that goes in
    # the blocks a reader asks for (10 ms), where module-sine-source gives 200 ms ones, in which
    # voice barely flows.
    for _ in $(seq 1 50); do
        if [ -S "$1/pulse.sock" ]; then
            PULSE_SERVER=unix:$1/pulse.sock pactl set-default-sink speaker &&
                PULSE_SERVER=unix:$1/pulse.sock pactl set-default-source microphone.monitor ||
                break
            [ "${2:-0}" = 1 ] || return 0
            "$build/bench/bench_voice_gaps" tone | PULSE_SERVER=unix:$1/pulse.sock pacat --raw \
                --format=s16le --rate=48000 --channels=1 --latency-msec=20 -d microphone 2> /dev/null &
            pids+=($!)
            return 0
        fi
        sleep 0.1
    done
    echo "the sound server in $1 did not start" >&2
    return 1
}

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
fd_count() { ls "/proc/$1/fd" 2>/dev/null | wc -l; }
now_ns() { date +%s%N; }
# share TICKS NANOSECONDS: CPU time as a share of one core over that time.
share() { awk -v t="$1" -v hz="$tick" -v ns="$2" 'BEGIN {printf "%.3f", t / hz / (ns / 1e9)}'; }
# rate COUNT NANOSECONDS: per second.
rate() { awk -v n="$1" -v ns="$2" 'BEGIN {printf "%.1f", n / (ns / 1e9)}'; }

# A camera profile offering exactly the size, at 30 frames per second.
profile_for() {
    local file=$work/camera-$1.cam
    printf 'card Bench Camera\nscene %s\nformat YUYV %s\ninterval 1/30\n' "${SCENE:-pattern}" "$1" > "$file"
    echo "$file"
}

# start_copy NAME HOST PROFILE: one copy of the program from its own folder.
declare -A input pid_of sound_of
# streams DIR: what the sound server in DIR records and plays for its clients.
streams() {
    local server=unix:$1/sound/pulse.sock
    printf '%s recording, %s playing' \
        "$(PULSE_SERVER=$server pactl list short source-outputs 2>/dev/null | wc -l)" \
        "$(PULSE_SERVER=$server pactl list short sink-inputs 2>/dev/null | wc -l)"
}
start_copy() {
    local name=$1 host=$2 profile=$3 dir=$work/$1
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "${VOCALYN:-$build/app/vocalyn}" "$dir/vocalyn"
    printf '[Settings]\r\nRingTime=10\r\nMessage=%s is away\r\nCallerID=%s\r\n' "$name" "$name" \
        > "$dir/Settings.ini"
    : > "$dir/IPAddress.dat"
    : > "$dir/out"
    mkfifo "$dir/in"
    start_sound "$dir/sound" "$([ "$host" = a ] && echo 1)" || return 1
    sound_of[$name]=$sound_pid
    # No way to the machine's Avahi daemon, which would announce the copy on the real network.
    HOME=$dir QT_QPA_PLATFORM=offscreen DBUS_SYSTEM_BUS_ADDRESS=unix:path=$dir/no-bus \
        PULSE_SERVER=unix:$dir/sound/pulse.sock \
        LD_PRELOAD=$build/tests/v4l2cam/libv4l2cam.so:$build/tests/e2e/libvocalyn_window_driver.so \
        V4L2CAM_NODES=/dev/video0=$profile ASAN_OPTIONS=verify_asan_link_order=0 \
        ip netns exec "$prefix-$host" "$dir/vocalyn" < "$dir/in" > "$dir/out" 2> "$dir/err" &
    pid_of[$name]=$!
    pids+=($!)
    local fd
    exec {fd}> "$dir/in"
    input[$name]=$fd
}

# ask NAME COMMAND: the window driver's one-line answer.
ask() {
    local name=$1 dir=$work/$1 before
    shift
    before=$(wc -l < "$dir/out")
    echo "$*" >&"${input[$name]}"
    for _ in $(seq 1 100); do
        [ "$(wc -l < "$dir/out")" -gt "$before" ] && break
        sleep 0.05
    done
    tail -n 1 "$dir/out"
}

wait_for() { # NAME COMMAND PATTERN SECONDS
    for _ in $(seq 1 $(($4 * 10))); do
        ask "$1" "$2" | grep -q -- "$3" && return 0
        sleep 0.1
    done
    echo "$1 never answered '$2' with '$3'" >&2
    return 1
}

stop_copy() {
    ask "$1" quit > /dev/null
    local pid=${pid_of[$1]}
    for _ in $(seq 1 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null
    kill "${sound_of[$1]}" 2>/dev/null
    eval "exec ${input[$1]}>&-"
}

# watch PID NAME: waits out the measuring window; with PERF=1 records where PID's time goes
# for its first 10 s into $work/perf-NAME.data.
watch() {
    if [ "${PERF:-0}" = 1 ] && command -v perf > /dev/null; then
        perf record -q ${PERF_RECORD:--g} -o "$work/perf-$2.data" -p "$1" -- sleep 10 > /dev/null 2>&1
        sleep $((seconds > 10 ? seconds - 10 : 0))
    else
        sleep "$seconds"
    fi
}

# record A_DIR B_DIR NAME: over the next SECONDS, what A's microphone gave and what B's speaker
# played, into NAME-sent.raw and NAME-heard.raw, from the same moment on (both sound servers run
# on this machine, on one clock).
record() {
    "$build/bench/bench_voice_gaps" record "$seconds" "unix:$1/sound/pulse.sock" \
        microphone.monitor "unix:$2/sound/pulse.sock" speaker.monitor "$work/$3-sent.raw" \
        "$work/$3-heard.raw" 2>> "$work/record.err" &
    recorder=$!
}

# row WHO A_RATE A_STALL B_RATE B_STALL SENT HEARD: one line of the table, the voice being A's
# microphone as it went in and B's speaker as it came out.
row() {
    local voice
    voice=$("$build/bench/bench_voice_gaps" compare "$6" "$7")
    printf '%-28s %-8s %7s %8s %7s %8s %8s %5s %6s\n' "$label" "$1" "$2" "$3" "$4" "$5" \
        "$(echo "$voice" | awk '{print $5}')" "$(echo "$voice" | awk '{print $7}')" \
        "$(echo "$voice" | awk '{print $9}')" | tee -a "$work/rows"
}
row_header() {
    printf '%-28s %-8s %7s %8s %7s %8s %8s %5s %6s\n' line who "A pic/s" "A stall" "B pic/s" \
        "B stall" "silent%" gaps "m2e ms"
}

# where NAME TITLE: the libraries the recorded time went to, if it was recorded.
where() {
    [ -f "$work/perf-$1.data" ] || return 0
    echo "$2"
    perf report -q -i "$work/perf-$1.data" --no-children --sort dso --stdio -g none 2>/dev/null |
        grep -v '^$' | grep '%' | head -n 15
}

measure_call() {
    local size=$1 profile
    profile=$(profile_for "$size")
    start_copy A a "$profile"
    start_copy B b "$profile"
    wait_for A status " x " 15 && wait_for B status " x " 15 || return 1
    for _ in $(seq 1 50); do
        ip netns exec "$prefix-b" ss -Hlun 'sport = :6767' | grep -q . && break
        sleep 0.1
    done
    ask A "type 198.18.0.2" > /dev/null
    ask A "click Call / Answer Phone" > /dev/null
    wait_for B host 198.18.0.1 5 || return 1
    ask B "click Call / Answer Phone" > /dev/null
    wait_for B picture "picture ${size/x/ } " 10 && wait_for A picture "picture ${size/x/ } " 10 ||
        return 1
    # The anchor runs at the same time, over the same window: both see the same load on the
    # machine, which would otherwise differ from one minute to the next.
    local anchor_job=
    if [ "${ANCHOR:-1}" = 1 ]; then
        measure_anchor "$size" > "$work/anchor-$size.out" 2>&1 &
        anchor_job=$!
    fi
    sleep 2 # past the start of the call
    echo "$size voice: A's sound server $(streams "$work/A"), B's $(streams "$work/B")"

    local a=${pid_of[A]} b=${pid_of[B]}
    local a0 b0 pa0 pb0 ra0 rb0 fa0 fb0 a1 b1 pa1 pb1 ra1 rb1 fa1 fb1 t0 t1 recorder
    local pictures_a pictures_b da0 db0 da1 db1
    t0=$(now_ns)
    a0=$(cpu_ticks "$a"); b0=$(cpu_ticks "$b")
    pa0=$(ask A picture | awk '{print $4}'); pb0=$(ask B picture | awk '{print $4}')
    da0=$(ask A datagrams); db0=$(ask B datagrams)
    ra0=$(rss_kib "$a"); rb0=$(rss_kib "$b"); fa0=$(fd_count "$a"); fb0=$(fd_count "$b")
    record "$work/A" "$work/B" "program-$size"
    watch "$a" "$size"
    a1=$(cpu_ticks "$a"); b1=$(cpu_ticks "$b")
    t1=$(now_ns)
    pictures_a=$(ask A picture); pictures_b=$(ask B picture)
    da1=$(ask A datagrams); db1=$(ask B datagrams)
    pa1=$(echo "$pictures_a" | awk '{print $4}'); pb1=$(echo "$pictures_b" | awk '{print $4}')
    wait "$recorder"
    ra1=$(rss_kib "$a"); rb1=$(rss_kib "$b"); fa1=$(fd_count "$a"); fb1=$(fd_count "$b")

    printf '%-8s program  A: cpu %s of a core, %s pictures/s received, rss %s -> %s KiB, fds %s -> %s\n' \
        "$size" "$(share $((a1 - a0)) $((t1 - t0)))" "$(rate $((pa1 - pa0)) $((t1 - t0)))" \
        "$ra0" "$ra1" "$fa0" "$fa1"
    printf '%-8s program  B: cpu %s of a core, %s pictures/s received, rss %s -> %s KiB, fds %s -> %s\n' \
        "$size" "$(share $((b1 - b0)) $((t1 - t0)))" "$(rate $((pb1 - pb0)) $((t1 - t0)))" \
        "$rb0" "$rb1" "$fb0" "$fb1"
    # Where pictures go missing: not sent, or sent and not read (the line or the socket), or
    # read and not shown.
    printf '%-8s program  A: %s picture datagrams/s sent, %s read; B: %s sent, %s read\n' "$size" \
        "$(rate $(($(echo "$da1" | awk '{print $2}') - $(echo "$da0" | awk '{print $2}'))) $((t1 - t0)))" \
        "$(rate $(($(echo "$da1" | awk '{print $3}') - $(echo "$da0" | awk '{print $3}'))) $((t1 - t0)))" \
        "$(rate $(($(echo "$db1" | awk '{print $2}') - $(echo "$db0" | awk '{print $2}'))) $((t1 - t0)))" \
        "$(rate $(($(echo "$db1" | awk '{print $3}') - $(echo "$db0" | awk '{print $3}'))) $((t1 - t0)))"
    where "$size" "where A's time goes ($size):"
    stop_copy A
    stop_copy B
    if [ -n "$anchor_job" ]; then
        wait "$anchor_job"
        cat "$work/anchor-$size.out"
    fi
    row program "$(rate $((pa1 - pa0)) $((t1 - t0)))" "$(echo "$pictures_a" | awk '{print $5}')" \
        "$(rate $((pb1 - pb0)) $((t1 - t0)))" "$(echo "$pictures_b" | awk '{print $5}')" \
        "$work/program-$size-sent.raw" "$work/program-$size-heard.raw"
    [ -z "$anchor_job" ] || row anchor $(cat "$work/anchor-$size.row")
}

measure_anchor() {
    local size=$1 width height profile
    width=${size%x*}
    height=${size#*x}
    profile=$(profile_for "$size")
    local shows=("! videoscale ! videoconvert ! video/x-raw,format=BGRx,width=640,height=480"
        "camera. ! queue leaky=downstream max-size-buffers=1 ! videoscale ! videoconvert ! video/x-raw,format=BGRx,width=176,height=144 ! fakesink sync=false"
        "tee name=camera ! queue !")
    [ "${ANCHOR_SHOWS:-1}" = 1 ] || shows=("" "" "")
    # GStreamer's JPEG elements default to libjpeg's fast, least exact transforms; the program
    # encodes with the float one and decodes with the exact integer one.
    local encode_dct= decode_dct=
    if [ "${ANCHOR_DCT:-}" = program ]; then
        encode_dct=" idct-method=float"
        decode_dct=" idct-method=islow"
    fi
    # Nor does it clean the voice up; ANCHOR_VOICE=program gives it the program's echo
    # cancellation, noise suppression and gain control.
    local dsp= probe=
    if [ "${ANCHOR_VOICE:-}" = program ]; then
        dsp="webrtcdsp probe=probe delay-agnostic=true extended-filter=true ! "
        probe="webrtcechoprobe name=probe ! "
    fi
    # On a jittery line each receiver waits for the packets that were overtaken, as long as the
    # spread of the delays and a little more; without that the JPEG depayloader drops every
    # picture whose packets came out of order.
    local video_wait= voice_wait=20
    if [ -n "${line_jitter:-}" ]; then
        voice_wait=$((${line_jitter#*-} - ${line_jitter%-*} + 10))
        video_wait="rtpjitterbuffer latency=$voice_wait ! "
    fi
    anchor_pipelines() { # PEER
        echo "v4l2src device=/dev/video0 ! video/x-raw,format=YUY2,width=$width,height=$height,framerate=30/1 ! ${shows[2]} jpegenc quality=90$encode_dct ! rtpjpegpay ! udpsink host=$1 port=5600 sync=false ${shows[1]}"
        echo "udpsrc port=5600 caps=application/x-rtp,media=video,encoding-name=JPEG,clock-rate=90000,payload=26 ! ${video_wait}rtpjpegdepay ! jpegdec$decode_dct name=count ${shows[0]} ! fakesink sync=false"
        # The voice's receiver first: the sender's echo canceller finds its probe there.
        echo "udpsrc port=5602 caps=application/x-rtp,media=audio,encoding-name=OPUS,clock-rate=48000,payload=96 ! rtpjitterbuffer latency=$voice_wait ! rtpopusdepay ! opusdec ! ${probe}audioconvert ! audioresample ! pulsesink"
        echo "pulsesrc ! audioconvert ! audioresample ! audio/x-raw,format=S16LE,rate=48000,channels=1 ! ${dsp}opusenc audio-type=voice ! rtpopuspay ! udpsink host=$1 port=5602 sync=false"
    }
    # start_anchor HOST PEER: one side, with the same emulated camera and a sound server.
    start_anchor() {
        local dir=$work/anchor-$1 pipelines
        start_sound "$dir/sound" "$([ "$1" = a ] && echo 1)" || return 1
        sounds+=($sound_pid)
        mapfile -t pipelines < <(anchor_pipelines "$2")
        PULSE_SERVER=unix:$dir/sound/pulse.sock LD_PRELOAD=$build/tests/v4l2cam/libv4l2cam.so \
            V4L2CAM_NODES=/dev/video0=$profile \
            ip netns exec "$prefix-$1" "$build/bench/bench_gst_anchor" $((seconds + 4)) \
            "${pipelines[@]}" > "$dir/out" 2> "$dir/err" &
        pids+=($!)
        anchor_pid=$!
    }
    local a b anchor_pid sounds=()
    start_anchor a 198.18.0.2 || return 1
    a=$anchor_pid
    start_anchor b 198.18.0.1 || return 1
    b=$anchor_pid
    sleep 2
    local a0 b0 a1 b1 t0 t1 recorder
    t0=$(now_ns)
    a0=$(cpu_ticks "$a"); b0=$(cpu_ticks "$b")
    echo "$size anchor voice: A's sound server $(streams "$work/anchor-a"), B's $(streams "$work/anchor-b")"
    record "$work/anchor-a" "$work/anchor-b" "anchor-$size"
    watch "$a" "anchor-$size"
    a1=$(cpu_ticks "$a"); b1=$(cpu_ticks "$b")
    t1=$(now_ns)
    wait "$recorder"
    printf '%-8s anchor   A: cpu %s of a core\n' "$size" "$(share $((a1 - a0)) $((t1 - t0)))"
    printf '%-8s anchor   B: cpu %s of a core\n' "$size" "$(share $((b1 - b0)) $((t1 - t0)))"
    where "anchor-$size" "where the anchor's A time goes ($size):"
    wait "$a" "$b" 2>/dev/null
    kill "${sounds[@]}" 2>/dev/null
    cat "$work/anchor-a/out" "$work/anchor-b/out"
    # The rates and longest gaps of the pictures each side decoded, for the table.
    local host counted=()
    for host in a b; do
        counted+=($(awk '/^counted/ {print $4, $9}' "$work/anchor-$host/out" | grep . || echo 0 -))
    done
    echo "${counted[@]}" "$work/anchor-$size-sent.raw" "$work/anchor-$size-heard.raw" \
        > "$work/anchor-$size.row"
    if grep -q . "$work/anchor-a/err" "$work/anchor-b/err" 2>/dev/null; then
        echo "the anchor said:" >&2
        head -n 5 "$work/anchor-a/err" "$work/anchor-b/err" >&2
    fi
}

# measure_idle SIZE: one copy previewing its camera, no call, beside the GStreamer pipeline that
# makes the same preview (the camera's frames scaled and converted to the panel's 176 x 144
# pixels) in the same window; then the same with the window minimised, and hidden, when the
# preview should cost nothing but the capture the frame handler still gets.
measure_idle() {
    local size=$1 profile width height phase
    profile=$(profile_for "$size")
    width=${size%x*}
    height=${size#*x}
    start_copy A a "$profile"
    wait_for A status " x " 15 || return 1
    local preview="v4l2src device=/dev/video0 ! video/x-raw,format=YUY2,width=$width,height=$height,framerate=30/1 ! videoscale ! videoconvert ! video/x-raw,format=BGRx,width=176,height=144 ! fakesink sync=false"
    LD_PRELOAD=$build/tests/v4l2cam/libv4l2cam.so V4L2CAM_NODES=/dev/video0=$profile \
        ip netns exec "$prefix-a" "$build/bench/bench_gst_anchor" $((3 * seconds + 12)) \
        "$preview" > "$work/anchor-idle.out" 2>&1 &
    pids+=($!)
    local anchor=$! a=${pid_of[A]}
    sleep 2
    for phase in shown minimised hidden; do
        ask A "window $phase" | grep -q '^ok' || { echo "A cannot be $phase" >&2; return 1; }
        sleep 1
        local a0 g0 p0 a1 g1 p1 t0 t1
        t0=$(now_ns)
        a0=$(cpu_ticks "$a"); g0=$(cpu_ticks "$anchor")
        p0=$(ask A preview | awk '{print $2}')
        watch "$a" "idle-$size-$phase"
        a1=$(cpu_ticks "$a"); g1=$(cpu_ticks "$anchor")
        t1=$(now_ns)
        p1=$(ask A preview | awk '{print $2}')
        printf '%-8s idle, %-9s program %s, preview pipeline %s of a core: ratio %s; %s previews/s painted\n' \
            "$size" "$phase" "$(share $((a1 - a0)) $((t1 - t0)))" "$(share $((g1 - g0)) $((t1 - t0)))" \
            "$(awk -v a=$((a1 - a0)) -v g=$((g1 - g0)) 'BEGIN {printf "%.2f", (g > 0 ? a / g : 0)}')" \
            "$(rate $((p1 - p0)) $((t1 - t0)))"
        where "idle-$size-$phase" "where A's time goes ($size, $phase):"
    done
    stop_copy A
    kill "$anchor" 2>/dev/null
    wait "$anchor" 2>/dev/null
    return 0
}

if [ "${IDLE:-0}" = 1 ]; then
    echo "idle program over ${seconds}s per phase, CPU as a share of one core"
    for size in $sizes; do
        measure_idle "$size" || echo "$size: the copy did not preview" >&2
    done
    exit
fi

# measure_line PERMILLE JITTER: the program and the anchor on that line, each size.
measure_line() {
    local size
    line "$1" "${2:-}" || return 1
    line_name="loss $(awk -v p="$1" 'BEGIN {printf "%g", p / 10}') %${2:+, jitter ${2:-} ms}"
    for size in $sizes; do
        label="$size $line_name"
        echo "== $label"
        measure_call "$size" || echo "$label: the call did not come up" >&2
    done
}

echo "call of ${seconds}s, CPU as a share of one core (1.000 = one core busy)"
if [ "${TABLE:-0}" = 1 ]; then
    for condition in "0" "20" "50" "100" "0 20-60" "20 20-60"; do
        measure_line $condition
    done
else
    measure_line "${LOSS:-0}" "${JITTER:-}"
fi
echo
echo "pictures/s received by each side, its longest stall (ms); A's voice at B: the share of"
echo "10 ms blocks that came out silent, the silent runs, mouth-to-ear (ms)"
row_header
cat "$work/rows" 2> /dev/null
