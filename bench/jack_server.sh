# Sourced by the benchmarks that run under a dummy JACK server: start_jack_server PERIOD starts one
# named $JACK_DEFAULT_SERVER at 48 kHz and PERIOD frames and sets $server to its pid; real-time
# scheduling where the machine allows it, as a DJ's server runs, and without where it does not.
start_jack_server() {
  jackd --name "$JACK_DEFAULT_SERVER" -d dummy --rate 48000 --period "$1" >/dev/null 2>&1 &
  server=$!
  sleep 1
  if ! kill -0 $server 2>/dev/null; then
    jackd --no-realtime --name "$JACK_DEFAULT_SERVER" -d dummy --rate 48000 --period "$1" \
      >/dev/null 2>&1 &
    server=$!
    sleep 1
  fi
}
