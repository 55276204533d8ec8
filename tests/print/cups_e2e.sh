#!/usr/bin/env bash
# End-to-end print through a real print queue: a private CUPS daemon listening only on a
# unix socket, with a cups-pdf queue "PDF" as its default printer; the sample program
# prints the first page of the registry list through Qt's print support, and the PDF that
# cups-pdf writes is read back with pdftotext.
#
#   cups_e2e.sh PRINT_SAMPLE
#
# Exit status: 0 passed, 1 failed, 77 skipped (the reason is printed).
set -u

sample=${1:?uso: cups_e2e.sh PRINT_SAMPLE}
skip() { echo "SKIP: $*"; exit 77; }
fail() {
    echo "FAIL: $*"
    if [ -n "${work:-}" ] && [ -f "$work/log/error_log" ]; then
        echo "--- error_log (last lines) ---"
        tail -n 40 "$work/log/error_log"
    fi
    exit 1
}

find_tool() {
    local t=$1 d
    for d in /usr/sbin /sbin /usr/bin /bin; do
        [ -x "$d/$t" ] && { echo "$d/$t"; return 0; }
    done
    command -v "$t" 2>/dev/null
}

cupsd=$(find_tool cupsd) || true
lpadmin=$(find_tool lpadmin) || true
lpstat=$(find_tool lpstat) || true
pdftotext=$(find_tool pdftotext) || true
[ -n "$cupsd" ] || skip "cupsd is not installed (package cups)"
[ -n "$lpadmin" ] && [ -n "$lpstat" ] || skip "lpadmin/lpstat are not installed (package cups-client)"
[ -n "$pdftotext" ] || skip "pdftotext is not installed (package poppler-utils)"
backend=/usr/lib/cups/backend/cups-pdf
[ -e "$backend" ] || skip "the cups-pdf backend is not installed (package printer-driver-cups-pdf)"
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
[ -e "$ppd" ] || skip "the cups-pdf PPD $ppd is missing"
# The backend is executable by root only (mode 0700), so cupsd runs it only when cupsd
# itself runs as root.
[ "$(id -u)" -eq 0 ] || skip "cups-pdf runs only under a cupsd started as root; run this test as root"

# cups-pdf writes into the home folder of the job's user ("Out \${HOME}/PDF" in its own
# configuration, which lives in /etc/cups and is left alone here).
user=$(id -un)
home=$(getent passwd "$user" | cut -d: -f6)
[ -n "$home" ] || skip "no home folder for $user"
out=$(sed -n 's/^[[:space:]]*Out[[:space:]]\+//p' /etc/cups/cups-pdf.conf 2>/dev/null | tail -n 1)
out=${out:-'${HOME}/PDF'}
out=${out//'${HOME}'/$home}
out=${out//'${USER}'/$user}

work=$(mktemp -d /tmp/contavio-cups.XXXXXX) || fail "mktemp"
chmod 755 "$work"
mkdir -p "$work/etc/ppd" "$work/spool" "$work/tmp" "$work/run" "$work/cache" "$work/log" "$work/home"
# Filters run as the daemon's unprivileged user (lp) and write their temporary files here.
chgrp lp "$work/tmp" 2>/dev/null && chmod 1770 "$work/tmp" || chmod 1777 "$work/tmp"
sock="$work/cups.sock"
pid=
landed=
cleanup() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    # CONTAVIO_KEEP=1 keeps the daemon's folder, its logs and the PDF for a look.
    if [ -n "${CONTAVIO_KEEP:-}" ]; then
        echo "kept: $work $landed"
    else
        [ -n "$landed" ] && rm -f "$landed"
        rm -rf "$work"
    fi
}
trap cleanup EXIT

cat >"$work/etc/cupsd.conf" <<EOF
LogLevel debug
Listen $sock
Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
EOF
cat >"$work/etc/cups-files.conf" <<EOF
ServerRoot $work/etc
RequestRoot $work/spool
TempDir $work/tmp
StateDir $work/run
CacheDir $work/cache
AccessLog $work/log/access_log
ErrorLog $work/log/error_log
PageLog $work/log/page_log
SystemGroup root
Sandboxing Relaxed
FileDevice No
EOF

"$cupsd" -f -c "$work/etc/cupsd.conf" -s "$work/etc/cups-files.conf" &
pid=$!
for _ in $(seq 1 100); do
    [ -S "$sock" ] && break
    kill -0 "$pid" 2>/dev/null || { pid=; fail "cupsd ended at start"; }
    sleep 0.1
done
[ -S "$sock" ] || fail "cupsd did not open its socket"

export CUPS_SERVER="$sock"
# Keep the client away from the user's own printer settings.
export HOME="$work/home"
"$lpadmin" -p PDF -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd 2>"$work/lpadmin.err" ||
    "$lpadmin" -p PDF -E -v cups-pdf:/ -P "$ppd" 2>>"$work/lpadmin.err" ||
    fail "lpadmin could not add the queue: $(cat "$work/lpadmin.err")"
"$lpadmin" -d PDF || fail "lpadmin -d PDF"
# Keep the text as text on its way through PostScript (the default renderer turns it into
# glyphs that cannot be read back).
"$lpadmin" -p PDF -o pdftops-renderer-default=pdftocairo || fail "lpadmin -o pdftops-renderer-default"
"$lpstat" -p PDF >/dev/null || fail "the queue PDF is not listed"

mkdir -p "$out" 2>/dev/null
stamp="$work/stamp"
touch "$stamp"
sleep 1

QT_QPA_PLATFORM=offscreen "$sample" --printer PDF --mode 8 --records 12 --zoom 70 --pages 1 ||
    fail "the sample program did not print (status $?)"

# Wait for the job to end and its PDF to land (at most 60 s).
deadline=$((SECONDS + 60))
while [ $SECONDS -lt $deadline ]; do
    if [ -z "$("$lpstat" -o PDF 2>/dev/null)" ]; then
        landed=$(find "$out" -maxdepth 1 -name '*.pdf' -newer "$stamp" 2>/dev/null | head -n 1)
        break
    fi
    if "$lpstat" -p PDF 2>/dev/null | grep -qi 'failed\|stopped'; then
        fail "the queue reports: $("$lpstat" -p PDF 2>/dev/null | tr '\n' ' ')"
    fi
    sleep 0.2
done
[ -n "$landed" ] || fail "no PDF landed in $out"
sleep 0.5

text=$("$pdftotext" -layout "$landed" -) || fail "pdftotext could not read $landed"
pages=$(grep -c $'\f' <<<"$text")
echo "$text" | head -n 5
grep -q 'Stampa Generale Clienti/Fornitori ------ del' <<<"$text" || fail "the header is missing"
grep -q 'Nome12' <<<"$text" || fail "the last counterparty is missing"
grep -Eq '^ *ID +C/F' <<<"$text" || fail "the title row is missing"
[ "$pages" -eq 1 ] || fail "expected one page, got $pages"
echo "PASS: one page printed through the CUPS queue PDF into $landed"
