#!/usr/bin/env bash
# Kelvalog on real serial drivers: boots Debian's kernel in QEMU with a busybox
# initramfs, this machine's root mounted read-only over 9p (an overlay on a
# tmpfs makes it writable), and runs the window there (tests/app/
# realserial_guest) against a USB serial adapter (ftdi_sio, /dev/ttyUSB0) and a
# 16550A UART (8250, /dev/ttyS1). The board simulator feeds the far end of
# both. From the host this script unplugs and replugs the adapter over QMP,
# sends a break down the UART's telnet chardev, and holds QEMU's trace of what
# the drivers set and the lines and records the window took against what the
# simulator sent.
#
#     bash scripts/realserial.sh [BUILD]    # BUILD: the build to run, build/asan by default
#
# Where QEMU cannot be installed or the guest does not boot, the stage says so
# and is skipped (exit 0); a failed check fails it (exit 1).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
root=$PWD
build=$root/${1:-build/asan}
work=$root/build/realserial
guest=$build/tests/app/realserial_guest
boardsim=$build/tools/boardsim/kelvalog-boardsim

skip() {
    echo "!!! ================================================================" >&2
    echo "!!! Real serial drivers stage SKIPPED: $*" >&2
    echo "!!! Nothing was checked against a real kernel driver." >&2
    echo "!!! ================================================================" >&2
    exit 0
}

ensure_packages qemu-system-x86 busybox-static python3 ||
    skip "qemu-system-x86, busybox-static or python3 cannot be installed"
if [ ! -x "$guest" ] || [ ! -x "$boardsim" ]; then
    echo "realserial_guest and kelvalog-boardsim are not built in $build" >&2
    exit 1
fi

# --- The kernel: vmlinuz and modules of the package linux-image-amd64 names --
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        sed -n 's/^ *Depends: \(linux-image-6\.1\.0-[0-9]*-amd64\)$/\1/p' | head -n 1
}
kernel=$(kernel_package)
if [ -z "$kernel" ]; then
    apt-get update -qq || true
    kernel=$(kernel_package)
fi
[ -n "$kernel" ] || skip "apt knows no linux-image-6.1.0-*-amd64"
kdir=$work/$kernel
mkdir -p "$work"
if [ ! -d "$kdir/boot" ]; then
    rm -rf "$kdir" "$work"/linux-image-*.deb
    (cd "$work" && apt-get download -q "$kernel" >/dev/null 2>&1) || skip "cannot download $kernel"
    dpkg-deb -x "$work"/"$kernel"_*.deb "$kdir"
    rm -f "$work"/linux-image-*.deb
fi
vmlinuz=$(ls "$kdir"/boot/vmlinuz-*)

# --- The initramfs: busybox, the modules in dependency order, an init -------
initrd=$work/initrd
rm -rf "$initrd"
mkdir -p "$initrd"/{bin,lib/modules,proc,sys,dev,host,rw,newroot}
cp /bin/busybox "$initrd/bin/busybox"
for applet in sh mount insmod mkdir chroot poweroff sed cat; do
    ln -s busybox "$initrd/bin/$applet"
done
# Order from each module's depends= field (the host has no modprobe to ask).
modules="usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio virtio_ring virtio
         virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci 9pnet netfs fscache 9p
         9pnet_virtio overlay"
for m in $modules; do
    file=$(find "$kdir/lib/modules" -name "$m.ko" -o -name "$m.ko.xz" | head -n 1)
    [ -n "$file" ] || skip "$kernel lacks the module $m"
    case $file in
        *.xz) xz -dc "$file" >"$initrd/lib/modules/$m.ko" ;;
        *) cp "$file" "$initrd/lib/modules/$m.ko" ;;
    esac
    echo "$m" >>"$initrd/lib/modules/order"
done
cat >"$initrd/init" <<'EOF'
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in $(cat /lib/modules/order); do
    insmod /lib/modules/$m.ko || echo "@@ check insmod-$m FAIL"
done
arg() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" /proc/cmdline; }
out=$(arg rsout)
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,ro hostroot /host
mount -t tmpfs rw /rw
mkdir -p /rw/upper /rw/work
mount -t overlay -o lowerdir=/host,upperdir=/rw/upper,workdir=/rw/work overlay /newroot
mount -t proc proc /newroot/proc
mount -t sysfs sys /newroot/sys
mount -t devtmpfs dev /newroot/dev
mkdir -p /newroot/dev/pts /newroot/dev/shm
mount -t devpts devpts /newroot/dev/pts
for d in /tmp /run /dev/shm; do mount -t tmpfs tmp /newroot$d; done
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 out /newroot$out
echo "@@ booted"
chroot /newroot /bin/sh "$(arg rsrun)"
echo "@@ exit $?"
poweroff -f
EOF
chmod +x "$initrd/init"
(cd "$initrd" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initrd.gz"

# --- The run's folders: scripts and traces here, guest output in out/ -------
run=$work/run
out=$work/out
rm -rf "$run" "$out"
mkdir -p "$run" "$out"
locale=C.UTF-8
locale -a 2>/dev/null | grep -qx 'de_DE.utf8' && locale=de_DE.UTF-8
cat >"$run/guest.sh" <<EOF
#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp XDG_RUNTIME_DIR=/tmp
export QT_QPA_PLATFORM=offscreen LC_ALL=$locale LANG=$locale
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for i in \$(seq 100); do [ -e /dev/ttyUSB0 ] && break; sleep 0.1; done
# Other line settings than the board's, so that 9600 8N1 in the trace is the
# window's doing.
stty -F /dev/ttyUSB0 115200 cs7 parenb cstopb
stty -F /dev/ttyS1 115200 cs7 parenb cstopb
exec "$guest" "$out"
EOF

echo "Guest: $kernel, $(basename "$guest") from $build, locale $locale"
RS_RUN=$run RS_OUT=$out RS_KERNEL=$vmlinuz RS_INITRD=$work/initrd.gz RS_BOARDSIM=$boardsim \
    python3 - <<'PY'
import atexit, json, os, re, select, socket, struct, subprocess, sys, threading, time
from decimal import Decimal, ROUND_HALF_UP

RUN, OUT = os.environ["RS_RUN"], os.environ["RS_OUT"]
START = time.time()
LIMIT = 170  # seconds for the whole guest run
# The adapter's own serial number, as a real one has it wherever it is
# plugged in (QEMU's default is made from the port it sits in).
SERIAL = "KVL23A01"
failures = []


def say(text):
    print(f"[{time.time() - START:6.1f}s] {text}", flush=True)


def fail(text):
    failures.append(text)
    say("FAIL " + text)


def skip(text):
    for line in ("!" * 64, "Real serial drivers stage SKIPPED: " + text,
                 "Nothing was checked against a real kernel driver.", "!" * 64):
        print("!!! " + line, file=sys.stderr, flush=True)
    sys.exit(0)


# --- The board simulators and the feeds from them to QEMU's chardevs -------
class Feed:
    """Passes a simulator's lines to a chardev socket, whole lines only, and
    keeps them in order with the feed's epoch (one per stretch without an
    unplug). Can hold back lines and put a break inside one."""

    def __init__(self, name, seed, telnet):
        self.name, self.telnet = name, telnet
        self.sim = subprocess.Popen([os.environ["RS_BOARDSIM"], "--board", "5v", "--rate", "30",
                                     "--seed", str(seed)], stdout=subprocess.PIPE, text=True)
        first = self.sim.stdout.readline()
        m = re.search(r" on (/dev/pts/\d+)", first)
        if not m:
            raise RuntimeError(f"simulator said: {first!r}")
        threading.Thread(target=lambda: self.sim.stdout.read(), daemon=True).start()
        self.pty = os.open(m.group(1), os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        self.sock = None
        self.sent = []  # (epoch, line)
        self.epoch = -1
        self.held = True
        self.want_break = False
        self.break_sent = None
        self.lock = threading.Lock()

    def connect(self, address):
        family = socket.AF_UNIX if isinstance(address, str) else socket.AF_INET
        for _ in range(100):
            try:
                s = socket.socket(family)
                s.connect(address)
                self.sock = s
                break
            except OSError:
                time.sleep(0.05)
        else:
            raise RuntimeError(f"cannot connect to {address}")
        threading.Thread(target=self.run, daemon=True).start()

    def hold(self):
        with self.lock:
            self.held = True

    def release(self):
        with self.lock:
            self.held = False
            self.epoch += 1

    def run(self):
        pending = b""
        while True:
            ready, _, _ = select.select([self.pty, self.sock], [], [], 0.5)
            if self.sock in ready:
                try:
                    if not self.sock.recv(4096):  # QEMU's telnet talk, the guest's output
                        return
                except OSError:
                    return
            if self.pty not in ready:
                continue
            try:
                pending += os.read(self.pty, 4096)
            except BlockingIOError:
                continue
            while b"\r" in pending:
                unit, pending = pending.split(b"\r", 1)
                unit += b"\r"
                line = unit[unit.rfind(b"\n") + 1:-1].decode("ascii", "replace")
                with self.lock:
                    if self.held:
                        continue
                    data = unit.replace(b"\xff", b"\xff\xff") if self.telnet else unit
                    parts = [data]
                    if self.want_break:
                        # IAC BREAK in the middle of the line, with pauses
                        # around it: QEMU's UART marks the break on whatever
                        # byte the guest reads next, a real one on its NUL.
                        half = len(data) // 2
                        parts = [data[:half], b"\xff\xf3", data[half:]]
                        self.want_break = False
                        self.break_sent = line
                    self.sent.append((self.epoch, line))
                for n, part in enumerate(parts):
                    if n > 0:
                        time.sleep(0.2)
                    try:
                        self.sock.sendall(part)
                    except OSError:
                        return

    def stop(self):
        self.sim.terminate()
        try:
            self.sim.wait(5)
        except subprocess.TimeoutExpired:
            self.sim.kill()


# --- QMP --------------------------------------------------------------------
class Qmp:
    def __init__(self, path):
        for _ in range(100):
            try:
                self.sock = socket.socket(socket.AF_UNIX)
                self.sock.connect(path)
                break
            except OSError:
                time.sleep(0.05)
        else:
            raise RuntimeError("no QMP socket")
        self.file = self.sock.makefile("r")
        self.events = []
        self.file.readline()  # greeting
        self.command("qmp_capabilities")

    def command(self, name, **arguments):
        self.sock.sendall(json.dumps({"execute": name, "arguments": arguments}).encode() + b"\n")
        while True:
            reply = json.loads(self.file.readline())
            if "event" in reply:
                self.events.append(reply)
            elif "error" in reply:
                raise RuntimeError(f"{name}: {reply['error']}")
            else:
                return reply.get("return")

    def wait_event(self, name, seconds):
        self.sock.settimeout(seconds)
        try:
            while not any(e["event"] == name for e in self.events):
                self.events.append(json.loads(self.file.readline()))
        except (socket.timeout, ValueError):
            return False
        finally:
            self.sock.settimeout(None)
        self.events = [e for e in self.events if e["event"] != name]
        return True


# --- The guest --------------------------------------------------------------
started = []


@atexit.register
def clean_up():
    # Nothing of this run outlives it, whatever ended it.
    for process in started:
        if process.poll() is None:
            process.kill()
            process.wait()


usb = Feed("usb", 23, telnet=False)
started.append(usb.sim)
uart = Feed("uart", 24, telnet=True)
started.append(uart.sim)
port = 0
with socket.socket() as probe:
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
qemu = subprocess.Popen([
    "qemu-system-x86_64", "-accel", "tcg", "-smp", "1", "-m", "1024", "-display", "none", "-monitor", "none",
    "-nic", "none",
    "-no-reboot", "-msg", "timestamp=on", "-kernel", os.environ["RS_KERNEL"],
    "-initrd", os.environ["RS_INITRD"],
    "-append", f"console=ttyS0 quiet loglevel=3 rsrun={RUN}/guest.sh rsout={OUT}",
    "-virtfs", "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap",
    "-virtfs", f"local,path={OUT},mount_tag=out,security_model=none",
    "-chardev", "stdio,id=console,signal=off", "-serial", "chardev:console",
    "-chardev", f"socket,id=uartc,host=127.0.0.1,port={port},server=on,wait=off,telnet=on",
    "-serial", "chardev:uartc",
    "-chardev", f"socket,id=usbc,path={RUN}/usb.sock,server=on,wait=off",
    "-device", "qemu-xhci", "-device", f"usb-serial,chardev=usbc,id=ftdidev,serial={SERIAL}",
    "-qmp", f"unix:{RUN}/qmp.sock,server=on,wait=off",
    "-trace", "usb_serial_*", "-trace", "serial_update_parameters", "-trace", "serial_write",
    "-D", f"{RUN}/trace.log",
], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
started.append(qemu)

messages = []
message_ready = threading.Condition()


def read_console():
    with open(f"{RUN}/console.log", "w", errors="replace") as log:
        for raw in qemu.stdout:
            text = raw.decode("utf-8", "replace").rstrip("\r\n")
            log.write(text + "\n")
            log.flush()
            at = text.find("@@ ")
            if at >= 0:
                with message_ready:
                    messages.append((time.time(), text[at + 3:]))
                    message_ready.notify()
    with message_ready:
        messages.append((time.time(), "qemu ended"))
        message_ready.notify()


threading.Thread(target=read_console, daemon=True).start()


def next_message(seconds):
    deadline = time.time() + seconds
    with message_ready:
        while not messages:
            if not message_ready.wait(max(0.0, deadline - time.time())):
                return None, None
        return messages.pop(0)


try:
    qmp = Qmp(f"{RUN}/qmp.sock")
    usb.connect(f"{RUN}/usb.sock")
    uart.connect(("127.0.0.1", port))
except RuntimeError as error:
    qemu.kill()
    skip(f"QEMU did not start ({error})")

marks, checks, done = {}, [], False
booted = False
while True:
    left = LIMIT - (time.time() - START)
    at, text = next_message(max(0.0, left) if booted else min(60.0, left))
    if text is None:
        if not booted:
            qemu.kill()
            skip("the guest did not boot within 60 s")
        fail(f"the guest run took longer than {LIMIT} s")
        break
    if text == "booted":
        booted = True
        say("guest booted")
    elif text.startswith("mark "):
        marks.setdefault(text[5:], []).append(at)
    elif text.startswith("check "):
        checks.append(text[6:])
        say(text)
        if " FAIL" in text:
            failures.append(text)
    elif text.startswith("unplug "):
        say(text)
        usb.hold()
        time.sleep(0.5)  # QEMU 7.2 may crash unplugging an adapter that bytes flow into
        qmp.command("device_del", id="ftdidev")
        if not qmp.wait_event("DEVICE_DELETED", 10):
            fail("the adapter was not unplugged")
    elif text.startswith("plug "):
        say(text)
        qmp.command("device_add", driver="usb-serial", chardev="usbc", id="ftdidev",
                    serial=SERIAL)
    elif text in ("feed usb", "feed uart"):
        # Lines go to a port only while it is open: QEMU's adapter stalls the
        # guest's next opening when bytes arrive while nobody has it open, and
        # a closed UART's chardev queues a backlog that no real line holds
        # and that reaches the guest in one burst when the port opens.
        (usb if text == "feed usb" else uart).release()
    elif text == "break":
        say(text)
        with uart.lock:
            uart.want_break = True
    elif text.startswith("done"):
        say(text)
        done = True
    elif text.startswith("exit ") or text == "qemu ended":
        if text != "exit 0" and not done:
            fail(f"the guest program ended: {text}")
        break
    else:
        say(text)
try:
    qemu.wait(10)
except subprocess.TimeoutExpired:
    qemu.kill()
    qemu.wait()
usb.stop()
uart.stop()
for feed in (usb, uart):
    with open(f"{RUN}/sent-{feed.name}.txt", "w") as f:
        f.writelines(f"{epoch} {line}\n" for epoch, line in feed.sent)
say(f"guest run ended after {time.time() - START:.0f} s")

# --- QEMU's trace: what the drivers set, and nothing while the dialog is open
trace = []
with open(f"{RUN}/trace.log", errors="replace") as log:
    for entry in log:
        m = re.match(r"\d+@(\d+\.\d+):(\w+) (.*)", entry.strip())
        if m:
            trace.append((float(m.group(1)), m.group(2), m.group(3)))


def between(begin, end):
    return [t for t in trace if begin <= t[0] <= end]


def modem_writes(entries):
    # FTDI modem control (request 0x4001) and the 16550's MCR (register 4).
    return [t for t in entries
            if (t[1] == "usb_serial_handle_control" and "control 0x4001," in t[2])
            or (t[1] == "serial_write" and re.search(r"addr 0x0?4\b", t[2]))]


begins, ends = marks.get("dialog-begin", []), marks.get("dialog-end", [])
online = marks.get("online-usb", []) + marks.get("online-uart", [])
for n, (begin, end) in enumerate(zip(begins, ends)):
    changes = modem_writes(between(begin, end))
    if changes:
        fail(f"opening the port dialog changed modem lines: {changes}")
    else:
        say(f"dialog {n + 1} open {end - begin:.1f} s: no DTR/RTS change in the trace")
for name, kinds, after, until in (
        ("ttyUSB0", ("usb_serial_set_baud", "usb_serial_set_data"), ends[0] if ends else 0,
         marks.get("online-usb", [0])[0] + 0.5),
        ("ttyS1", ("serial_update_parameters",), ends[1] if len(ends) > 1 else 0,
         marks.get("online-uart", [0])[0] + 0.5)):
    # What the driver set last when the window opened the port.
    last = {}
    for t in between(after, until):
        if t[1] in kinds:
            last[t[1]] = t
    wanted = {"usb_serial_set_baud": r"baud rate 9600$",
              "usb_serial_set_data": r"parity N, data bits 8, stop bits 1$",
              "serial_update_parameters": r"baudrate=9600 parity='N' data=8 stop=1$"}
    for kind in kinds:
        t = last.get(kind)
        if t and re.search(wanted[kind], t[2]):
            say(f"{name} trace: {t[1]} {t[2]}")
        else:
            fail(f"{name}: the trace shows no 9600 8N1 after going on line: {t}")
    for t in modem_writes(between(after, until))[-2:]:
        say(f"{name} trace: {t[1]} {t[2]}")


# --- Every line, value for value ---------------------------------------------
def f32(x):
    return struct.unpack("<f", struct.pack("<f", x))[0]


def readings(line):
    tokens = line.split()
    pressure = 600 + (int(tokens[0]) - 3277) * (425 / 26214.0)
    return [f32(pressure)] + [f32(int(t.replace(".", "")) / 100.0) for t in tokens[1:5]]


def two_decimals(value):
    d = Decimal(format(value, ".17e")).quantize(Decimal("0.01"), ROUND_HALF_UP)
    return format(abs(d) if d == 0 else d, "f")


def check_run(name, feed, lines_file, log_file):
    entries = []
    with open(lines_file, errors="replace") as f:
        for entry in f:
            kind, _, rest = entry.rstrip("\n").partition(" ")
            entries.append((kind, rest))
    got = [rest for kind, rest in entries if kind == "L"]
    sent = feed.sent
    # Per epoch (a stretch of the feed between unplugs), the lines received
    # are the lines sent, none missing in between; the first epoch's, up to
    # the unplug, none missing at its end either.
    nul = "\\x00"

    def same(received, sent_line):
        # The line the break went into may hold the NUL, whatever QEMU's
        # UART made of it; its readings are checked below.
        if nul in received and sent_line == feed.break_sent:
            return True
        return received == sent_line

    position, epochs = 0, {}
    for line in got:
        while position < len(sent) and not same(line, sent[position][1]):
            position += 1
        if position == len(sent):
            fail(f"{name}: a line never sent arrived: {line!r}")
            return
        if nul in line:
            if readings(line.replace(nul, "")) != readings(sent[position][1]):
                fail(f"{name}: the break changed a reading: {line!r}, sent {sent[position][1]!r}")
            else:
                say(f"{name}: the break's line arrived as {line!r}, its readings as sent")
        epochs.setdefault(sent[position][0], []).append(position)
        position += 1
    for epoch, positions in epochs.items():
        gaps = [p for a, p in zip(positions, positions[1:]) if p != a + 1]
        if gaps:
            fail(f"{name}: lines sent in stretch {epoch} did not arrive: first lost {sent[gaps[0] - 1][1]!r}")
    first = epochs.get(0, [])
    if not first:
        fail(f"{name}: no line arrived")
        return
    if name == "usb":
        last_sent = max(i for i, (e, _) in enumerate(sent) if e == 0)
        if first[-1] != last_sent:
            fail(f"{name}: {last_sent - first[-1]} lines sent before the unplug never arrived")
    say(f"{name}: {len(got)} lines arrived, {len(first)} of them in the first stretch, all as sent")
    # Each record: the mean of the lines since the tick before, as the window
    # computes it in 32 bits, written with two decimals.
    with open(log_file, "rb") as f:
        records = [r.rstrip(b"\r").decode("latin-1").split("\t") for r in f.read().split(b"\n") if r]
    group, written, compared = [], 0, 0
    for kind, rest in entries:
        if kind == "M":
            break
        if kind == "L":
            group.append(rest.replace("\\x00", ""))
        elif kind == "T":
            count = int(rest)
            if count == written + 1 and group:
                sums, n = [0.0] * 5, len(group)
                for line in group:
                    sums = [f32(s + r) for s, r in zip(sums, readings(line))]
                want = [two_decimals(f32(s / n)) for s in sums]
                have = [v.replace(",", ".") for v in records[count - 1][1:6]]
                if want != have or any(records[count - 1][6:]):
                    fail(f"{name}: record {count} is {have}, the {n} lines sent make {want}")
                    return
                compared += 1
            written = count
            group = []
    say(f"{name}: {compared} records hold the mean of exactly the lines sent, value for value")
    if name == "usb" and compared < 55:
        fail(f"{name}: only {compared} records in the unbroken minute")


check_run("usb", usb, f"{OUT}/usb-lines.txt", f"{OUT}/usb-log.txt")
check_run("uart", uart, f"{OUT}/uart-lines.txt", f"{OUT}/uart-log.txt")
if uart.break_sent is None:
    fail("no break was sent")
else:
    say(f"break sent inside the line {uart.break_sent!r}")
expected = {"dialog-usb", "dialog-uart", "dialog-no-uart-absent", "online-usb", "logging",
            "lost-same-node", "back-same-node", "same-log-same-node", "lost-new-node",
            "back-new-node", "same-log-new-node", "usb-log", "usb-no-nul", "online-uart",
            "uart-lines", "break-light", "uart-log", "uart-no-nul", "uart-sends-nothing"}
missing = expected - {c.split()[0] for c in checks if c.split()[1] == "ok"}
if missing and not failures:
    fail(f"checks not passed: {sorted(missing)}")
if failures:
    say(f"{len(failures)} failures; console: {RUN}/console.log, trace: {RUN}/trace.log")
    sys.exit(1)
say("all real serial driver checks passed")
PY
