#!/usr/bin/env bash
# Usage: source scripts/pulse-vmic.sh start | bash scripts/pulse-vmic.sh stop
# A PulseAudio daemon with two virtual microphones fed from one null sink, for capture tests on a
# machine without a sound card: "vmic48" (48 kHz stereo) and "vmic16" (16 kHz mono). Exports the
# environment the tests need: XDG_RUNTIME_DIR, HOME with an .asoundrc naming both sources as ALSA
# devices, and KESU_PULSE_READY=1 once audio flows.
set -uo pipefail

KESU_PULSE_DIR="${KESU_PULSE_DIR:-/tmp/kesu-pulse-$UID}"

pulse_stop() {
  if [[ -f "$KESU_PULSE_DIR/player.pid" ]]; then
    kill "$(cat "$KESU_PULSE_DIR/player.pid")" 2>/dev/null || true
  fi
  XDG_RUNTIME_DIR="$KESU_PULSE_DIR/run" pulseaudio --kill 2>/dev/null || true
  for _ in $(seq 40); do
    XDG_RUNTIME_DIR="$KESU_PULSE_DIR/run" pulseaudio --check 2>/dev/null || break
    sleep 0.1
  done
  rm -rf "$KESU_PULSE_DIR"
}

pulse_start() {
  pulse_stop
  mkdir -p -m 700 "$KESU_PULSE_DIR/run" "$KESU_PULSE_DIR/home"
  export XDG_RUNTIME_DIR="$KESU_PULSE_DIR/run"
  cat >"$KESU_PULSE_DIR/home/.asoundrc" <<'ASOUND'
pcm.vmic48 { type pulse device "vmic48" hint { show on description "VirtualMic48kStereo" } }
pcm.vmic16 { type pulse device "vmic16" hint { show on description "VirtualMic16kMono" } }
ASOUND
  pulseaudio --daemonize=yes --system=false --exit-idle-time=-1 --disallow-exit=yes -n \
    --use-pid-file=yes --log-target=file:"$KESU_PULSE_DIR/pulse.log" --log-level=info \
    -L module-native-protocol-unix -L module-cli-protocol-unix \
    -L "module-null-sink sink_name=vmic_out rate=48000 channels=2 sink_properties=device.description=VirtualMicPlayback" \
    -L "module-remap-source master=vmic_out.monitor source_name=vmic48 rate=48000 channels=2 source_properties=device.description=VirtualMic48kStereo" \
    -L "module-remap-source master=vmic_out.monitor source_name=vmic16 rate=16000 channels=1 source_properties=device.description=VirtualMic16kMono" \
    >/dev/null 2>&1 || { echo "[pulse] daemon did not start" >&2; return 1; }
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-sink vmic_out && pactl set-default-source vmic48 || return 1
  # An idle null sink renders in 2 s blocks; a silent player keeps capture latency low.
  pacat --playback -d vmic_out --latency-msec=20 --raw --format=s16le --rate=48000 --channels=2 \
    /dev/zero >/dev/null 2>&1 &
  echo $! >"$KESU_PULSE_DIR/player.pid"
  for _ in $(seq 50); do
    if [[ $(timeout 0.5 parec -d vmic48 --raw 2>/dev/null | head -c 4096 | wc -c) -ge 4096 ]]; then
      export HOME="$KESU_PULSE_DIR/home" KESU_PULSE_READY=1
      return 0
    fi
    sleep 0.1
  done
  echo "[pulse] no audio from the virtual microphone" >&2
  return 1
}

case "${1:-}" in
  start) pulse_start ;;
  stop) pulse_stop ;;
  *) echo "usage: source scripts/pulse-vmic.sh start | bash scripts/pulse-vmic.sh stop" >&2 ;;
esac
