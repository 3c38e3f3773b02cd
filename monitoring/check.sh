#!/usr/bin/env bash
# The alert rules, their unit tests and the example scrape configuration, checked by promtool
# as Prometheus would load them. The example names the files where the package installs them
# (INSTALLED, e.g. /usr/share/vmlcmd-gateway/monitoring) and a token file under
# /etc/prometheus; a scratch copy points both at files that exist, so the check also fails when
# the example's paths and the install rule part ways.
#   check.sh INSTALLED
# Exit status 77 (CTest's skip) when promtool is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
installed=${1:?usage: check.sh INSTALLED}

promtool=$(command -v promtool || true)
if [ -z "$promtool" ]; then
  reason="promtool is not on PATH (Debian's prometheus): the alert rules and the scrape configuration are not checked"
  echo "NOT RUN: $reason"
  if [ -n "${VMLCMD_NOT_RUN_FILE:-}" ]; then echo "$reason" >>"$VMLCMD_NOT_RUN_FILE"; fi
  exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$here/vmlcmd-alerts.yml" "$here/vmlcmd-alerts.test.yml" "$scratch/"
echo "scrape-token-0123456789abcdef" >"$scratch/vmlcmd-gateway.token"
sed -e "s#$installed/#$scratch/#g" -e "s#/etc/prometheus/#$scratch/#g" "$here/prometheus.yml" >"$scratch/prometheus.yml"

cd "$scratch"
"$promtool" check rules vmlcmd-alerts.yml
"$promtool" test rules vmlcmd-alerts.test.yml
"$promtool" check config prometheus.yml
