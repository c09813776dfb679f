#!/usr/bin/env python3
"""The game's sound measured through a real sound server.

  sh tools/with-sound.sh tools/sound-measure.py gaps BUILD [LOAD] [SECONDS]
      The game's stream (a chord, through carrowmere-soundcheck) and a pacat
      stream of 60 ms beside it, each into a null sink of its own, with LOAD
      busy loops running; gaps of 5 ms or more counted in both.
  sh tools/with-display.sh sh tools/with-sound.sh tools/sound-measure.py latency BUILD [PRESSES]
      Space pressed through XTest in a running game; the delay from each
      press to its scream in the recording of the sink's monitor.

BUILD is the build folder. Not a test: the figures depend on the machine.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

RATE = 48000


def gaps(build, load, seconds):
    folder = tempfile.mkdtemp()
    modules = [subprocess.run(["pactl", "load-module", "module-null-sink", f"sink_name={sink}", f"rate={RATE}", "channels=2"],
                              check=True, capture_output=True, text=True).stdout.strip()
               for sink in ("game", "control")]
    recorders = [subprocess.Popen(["parec", f"--device={sink}.monitor", "--format=s16le", f"--rate={RATE}", "--channels=2",
                                   "--latency-msec=20", "--raw"], stdout=open(os.path.join(folder, sink), "wb"))
                 for sink in ("game", "control")]
    time.sleep(1)
    busy = [subprocess.Popen(["sh", "-c", "while :; do :; done"]) for _ in range(load)]
    tone = subprocess.Popen(["sox", "-n", "-r", str(RATE), "-c", "2", "-b", "16", "-e", "signed", "-t", "raw", "-",
                             "synth", str(seconds + 5), "sine", "440", "vol", "0.5"], stdout=subprocess.PIPE)
    control = subprocess.Popen(["pacat", "--latency-msec=60", "--raw", "--format=s16le", f"--rate={RATE}", "--channels=2"],
                               stdin=tone.stdout, env=dict(os.environ, PULSE_SINK="control"))
    subprocess.run([os.path.join(build, "carrowmere-soundcheck"), "play", str(seconds)], env=dict(os.environ, PULSE_SINK="game"))
    for process in busy + [control, tone] + recorders:
        process.kill()
        process.wait()
    print("load average", os.getloadavg())
    subprocess.run([os.path.join(build, "carrowmere-soundcheck"), "gaps", os.path.join(folder, "game"), os.path.join(folder, "control")])
    for module in modules:
        subprocess.run(["pactl", "unload-module", module], check=True)
    shutil.rmtree(folder)


def latency(build, presses):
    folder = tempfile.mkdtemp()
    home = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, "config"), XDG_DATA_HOME=os.path.join(folder, "data"))
    game = subprocess.Popen([os.path.join(build, "carrowmere"), "--seed", "7"], env=home,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(4)
    recorder = subprocess.Popen(["parec", "--device=@DEFAULT_MONITOR@", "--format=s16le", f"--rate={RATE}", "--channels=2",
                                 "--latency-msec=2", "--raw"], stdout=subprocess.PIPE, bufsize=0)
    data = bytearray()
    arrivals = []  # when each read came, and the frames read by then

    def read():
        while chunk := recorder.stdout.read(4096):
            data.extend(chunk)
            arrivals.append((time.monotonic(), len(data) // 4))

    threading.Thread(target=read, daemon=True).start()
    time.sleep(1.5)
    subprocess.run(["xdotool", "key", "h"])  # the first start's card goes
    time.sleep(1)
    pressed = []
    for _ in range(presses):
        time.sleep(1.2)
        pressed.append(time.monotonic())
        subprocess.run(["xdotool", "keydown", "space"])
        time.sleep(0.05)
        subprocess.run(["xdotool", "keyup", "space"])
    time.sleep(1)
    recorder.kill()
    game.kill()
    game.wait()
    # A frame was played no later than it arrived: the earliest reading of
    # the recording's start is the truest.
    start = min(when - frames / RATE for when, frames in arrivals)
    with open(os.path.join(folder, "recording"), "wb") as out:
        out.write(bytes(data[: len(data) // 4 * 4]))
    with open(os.path.join(folder, "presses"), "w") as out:
        out.write("\n".join(str(int((when - start) * RATE)) for when in pressed))
    print("load average", os.getloadavg())
    subprocess.run([os.path.join(build, "carrowmere-soundcheck"), "screams", os.path.join(folder, "recording"),
                    os.path.join(folder, "presses")])
    shutil.rmtree(folder)


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "gaps":
        gaps(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 6, int(sys.argv[4]) if len(sys.argv) > 4 else 55)
    elif len(sys.argv) >= 3 and sys.argv[1] == "latency":
        latency(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 20)
    else:
        sys.exit(__doc__)
