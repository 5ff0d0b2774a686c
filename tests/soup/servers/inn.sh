# shellcheck shell=bash
# Sourced by start (as root): a private INN under $rt/inn, config via INNCONF. innd takes the
# posts, on an internal port and its local socket; nnrpd daemons serve the readers on the three
# NNTP ports: open, with AUTHINFO, and with implicit TLS. All of it runs as news.

as_news=(setpriv --reuid=news --regid=news --init-groups --)
inn=$rt/inn
etc=$inn/etc
mkdir -p "$etc" "$inn/filter" "$inn/db" "$inn/run" "$inn/log" "$inn/http" "$inn/tmp" \
  "$inn/spool/articles" "$inn/spool/overview" "$inn/spool/incoming/bad" \
  "$inn/spool/outgoing" "$inn/spool/archive"
cat >"$etc/inn.conf" <<EOF
domain:          tidewire.test
pathhost:        news.tidewire.test
fromhost:        tidewire.test
server:          127.0.0.1
organization:    "Tidewire tests"
mta:             "/bin/true %s"
mailcmd:         /bin/true
port:            $INND_PORT
bindaddress:     127.0.0.1
ovmethod:        tradindexed
hismethod:       hisv6
enableoverview:  true
artcutoff:       0
pgpverify:       false
nnrpdloadlimit:  0
nnrpdcheckart:   true
docancels:       "require-auth"
maxconnections:  100
doinnwatch:      false
pathnews:        /usr/lib/news
pathbin:         /usr/lib/news/bin
pathcontrol:     /usr/lib/news/bin/control
pathfilter:      $inn/filter
pathetc:         $etc
pathdb:          $inn/db
pathrun:         $inn/run
pathlog:         $inn/log
pathhttp:        $inn/http
pathtmp:         $inn/tmp
pathspool:       $inn/spool
patharticles:    $inn/spool/articles
pathoverview:    $inn/spool/overview
pathincoming:    $inn/spool/incoming
pathoutgoing:    $inn/spool/outgoing
patharchive:     $inn/spool/archive
tlscapath:       $etc
tlscertfile:     $etc/cert.pem
tlskeyfile:      $etc/key.pem
EOF
cat >"$etc/incoming.conf" <<'EOF'
peer ME {
  hostname: "localhost, 127.0.0.1, ::1"
}
EOF
echo 'ME:!*/!local::' >"$etc/newsfeeds"
printf 'method tradspool {\n  newsgroups: *\n  class: 0\n}\n' >"$etc/storage.conf"
printf '/remember/:11\n*:A:1:90:never\n' >"$etc/expire.ctl"
printf 'cancels {\n  canlockuser: [ ]\n  canlockadmin: [ ]\n}\n' >"$etc/inn-secrets.conf"
: >"$etc/passwd.nntp"
: >"$etc/moderators"
: >"$etc/distributions"
cat >"$etc/readers.conf" <<'EOF'
auth "localhost" {
  hosts: "localhost, 127.0.0.1, ::1"
  default: "<localhost>"
}
access "localhost" {
  users: "<localhost>"
  newsgroups: "*"
  access: RP
}
EOF
# No default identity: nothing but AUTHINFO before login (480).
cat >"$etc/readers-auth.conf" <<EOF
auth "reader" {
  hosts: "*"
  auth: "ckpasswd -f $etc/reader.passwd"
}
access "reader" {
  users: "reader"
  newsgroups: "*"
  access: RP
}
EOF
echo "reader:$(openssl passwd -5 secret)" >"$etc/reader.passwd"
cp "$tls/server.pem" "$etc/cert.pem"
cp "$tls/server.key" "$etc/key.pem"
chmod 600 "$etc/key.pem" "$etc/reader.passwd"
now=$(date +%s)
{
  grep -v '^local\.' /usr/lib/news/examples/active
  for g in tw.test $(seq -f 'tw.g%02g' 1 40); do echo "$g 0000000000 0000000001 y"; done
} >"$inn/db/active"
{
  for g in tw.test $(seq -f 'tw.g%02g' 1 40); do printf '%s\tTidewire test group\n' "$g"; done
} >"$inn/db/newsgroups"
for g in tw.test $(seq -f 'tw.g%02g' 1 40); do echo "$g $now tidewire@tidewire.test"; done \
  >"$inn/db/active.times"
: >"$inn/db/history"
chown -R news:news "$inn"
export INNCONF=$etc/inn.conf
(cd "$inn/db" && "${as_news[@]}" /usr/lib/news/bin/makedbz -i -o -f history) >"$dir/innd.log" 2>&1 ||
  { show_log innd; fail "makedbz failed"; }
launch innd "${as_news[@]}" /usr/lib/news/bin/innd -d
# innd only acts on SIGTERM once a connection wakes it up; stop runs this before signalling.
cat >"$dir/innd.shutdown" <<EOF
#!/bin/sh
INNCONF=$etc/inn.conf exec ${as_news[*]} /usr/lib/news/bin/ctlinnd -t 5 shutdown "tests done"
EOF
chmod +x "$dir/innd.shutdown"
nnrpd=/usr/lib/news/bin/nnrpd
launch nnrpd "${as_news[@]}" $nnrpd -D -f -n -b 127.0.0.1 -p $NNTP_PORT -c readers.conf
launch nnrpd-auth "${as_news[@]}" $nnrpd -D -f -n -b 127.0.0.1 -p $NNTP_AUTH_PORT -c readers-auth.conf
launch nnrpds "${as_news[@]}" $nnrpd -D -f -n -S -b 127.0.0.1 -p $NNTPS_PORT -c readers.conf
news_checks=(
  "innd:$INND_PORT:plain:200:$dir/innd.pid"
  "nnrpd:$NNTP_PORT:plain:200:$dir/nnrpd.pid"
  "nnrpd-auth:$NNTP_AUTH_PORT:plain:20:$dir/nnrpd-auth.pid"
  "nnrpds:$NNTPS_PORT:tls:200:$dir/nnrpds.pid"
)
