#!/usr/bin/env bash
# Writes the configuration the interop suite expects into an installed
# Asterisk: its etc/asterisk files, and a music-on-hold melody made with sox
# (the installation carries no sound packs).
#
#   scripts/interop/asterisk-config.sh INSTALL
#
# Ports and manager credentials can be changed with QUENDRA_ASTERISK_IAX_PORT,
# QUENDRA_ASTERISK_MANAGER_PORT, QUENDRA_ASTERISK_MANAGER_USER and
# QUENDRA_ASTERISK_MANAGER_SECRET.
set -euo pipefail

install=${1:-${QUENDRA_ASTERISK:-}}
if [ -z "$install" ] || [ ! -x "$install/sbin/asterisk" ]; then
  echo "usage: $0 INSTALL   (a folder holding sbin/asterisk)" >&2
  exit 2
fi
install=$(cd "$install" && pwd)
iax_port=${QUENDRA_ASTERISK_IAX_PORT:-4569}
manager_port=${QUENDRA_ASTERISK_MANAGER_PORT:-5038}
manager_user=${QUENDRA_ASTERISK_MANAGER_USER:-quendra}
manager_secret=${QUENDRA_ASTERISK_MANAGER_SECRET:-lab}

# Exactly these modules are loaded.
modules=(
  res_crypto res_clioriginate res_timing_timerfd res_musiconhold bridge_simple
  codec_gsm codec_ulaw codec_alaw codec_a_mu
  format_wav format_gsm format_pcm format_sln
  func_callerid func_channel func_strings func_logic
  app_echo app_playtones app_milliwatt app_dial app_read app_playback
  app_verbose app_stack app_queue app_voicemail
  chan_iax2 pbx_config
)
missing=()
for m in "${modules[@]}"; do
  [ -f "$install/lib/asterisk/modules/$m.so" ] || missing+=("$m")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "$install lacks modules: ${missing[*]}" >&2
  exit 1
fi

etc="$install/etc/asterisk"
lib="$install/var/lib/asterisk"
moh="$lib/moh-melody"
mkdir -p "$etc" "$lib" "$moh" "$install/var/spool/asterisk" \
  "$install/var/run/asterisk" "$install/var/log/asterisk"

# Eight notes, about 3 s; the music-on-hold class repeats the file.
chains=()
for note in 523 659 784 659 587 698 880 784; do
  [ ${#chains[@]} -eq 0 ] || chains+=(:)
  chains+=(synth 0.35 sine "$note" fade q 0.02 0.35 0.08 gain -10)
done
sox -n -r 8000 -c 1 -b 16 "$moh/melody.wav" "${chains[@]}"

cat > "$etc/asterisk.conf" <<EOF
[directories]
astetcdir => $etc
astmoddir => $install/lib/asterisk/modules
astvarlibdir => $lib
astdbdir => $lib
astkeydir => $lib
astdatadir => $lib
astagidir => $lib/agi-bin
astspooldir => $install/var/spool/asterisk
astrundir => $install/var/run/asterisk
astlogdir => $install/var/log/asterisk
astsbindir => $install/sbin

[options]
runuser = $(id -un)
rungroup = $(id -gn)
verbose = 3
EOF

{
  printf '[modules]\nautoload = no\n'
  printf 'load = %s.so\n' "${modules[@]}"
} > "$etc/modules.conf"

# Core settings files: present so the log shows no missing-file errors;
# call records are not kept.
printf '[general]\nenable = no\n' > "$etc/cdr.conf"
printf '[general]\nenable = no\n' > "$etc/cel.conf"
for core in ccss features udptl; do
  printf '[general]\n' > "$etc/$core.conf"
done
echo "; no named access lists" > "$etc/acl.conf"

# Tones for Ringing, Busy and Congestion on channels that play them locally.
cat > "$etc/indications.conf" <<'EOF'
[general]
country = us

[us]
description = United States
ringcadence = 2000,4000
dial = 350+440
ring = 440+480/2000,0/4000
busy = 480+620/500,0/500
congestion = 480+620/250,0/250
EOF

cat > "$etc/logger.conf" <<'EOF'
[general]
dateformat = %F %T.%3q

[logfiles]
messages => notice,warning,error,verbose
console => notice,warning,error
EOF

cat > "$etc/iax.conf" <<EOF
[general]
bindport = $iax_port
bindaddr = 127.0.0.1
disallow = all
allow = gsm,ulaw,alaw
jitterbuffer = no
delayreject = no
EOF
for ext in 1001 1002 1003 1009; do
  cat >> "$etc/iax.conf" <<EOF

[$ext]
type = friend
secret = s$ext
auth = md5
host = dynamic
qualify = yes
context = agents
EOF
  if [ "$ext" = 1009 ]; then
    echo "requirecalltoken = no" >> "$etc/iax.conf"
  else
    echo "mailbox = $ext@default" >> "$etc/iax.conf"
  fi
done

cat > "$etc/extensions.conf" <<'EOF'
[general]
static = yes
writeprotect = yes

[agents]
exten => 600,1,Answer()
 same => n,Echo()
 same => n,Hangup()

exten => 601,1,Answer()
 same => n,Playtones(1000/0)
 same => n,Wait(300)
 same => n,Hangup()

exten => 602,1,Answer()
 same => n,Milliwatt()
 same => n,Hangup()

exten => 603,1,Answer()
 same => n,MusicOnHold(default)
 same => n,Hangup()

exten => 604,1,Busy()

exten => 605,1,Ringing()
 same => n,Wait(60)
 same => n,Hangup()

exten => 606,1,Answer()
 same => n,Read(QDIGITS,,4,,1,10)
 same => n,Verbose(0,606 digits '${QDIGITS}' status ${READSTATUS})
 same => n,NoOp(QDIGITS=${QDIGITS})
 same => n,Hangup()

exten => 700,1,Queue(sales)
 same => n,Hangup()

exten => 8500,1,Answer()
 same => n,VoiceMailMain(${CALLERID(num)}@default)
 same => n,Hangup()

exten => _1XXX,1,Dial(IAX2/${EXTEN},30)
 same => n,Hangup()

exten => 1001,hint,IAX2/1001
exten => 1002,hint,IAX2/1002
exten => 1003,hint,IAX2/1003
EOF

cat > "$etc/manager.conf" <<EOF
[general]
enabled = yes
bindaddr = 127.0.0.1
port = $manager_port

[$manager_user]
secret = $manager_secret
deny = 0.0.0.0/0.0.0.0
permit = 127.0.0.1/255.255.255.255
read = all
write = all
EOF

cat > "$etc/voicemail.conf" <<'EOF'
[general]
format = wav
attach = no

[default]
1001 => 1001,Agent 1001
1002 => 1002,Agent 1002
EOF

cat > "$etc/queues.conf" <<'EOF'
[general]
persistentmembers = no

[sales]
strategy = ringall
musicclass = default
timeout = 15
EOF

cat > "$etc/musiconhold.conf" <<EOF
[default]
mode = files
directory = $moh
EOF

echo "configured $install"
