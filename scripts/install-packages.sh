#!/usr/bin/env bash
# Installs the Debian packages a build script needs when they are missing (Debian 12). Source it,
# then call: install_missing TAG LOG PACKAGE... - installs those of PACKAGE not installed yet,
# keeping apt's output in LOG (shown when it fails); TAG prefixes the message. Returns non-zero
# when the install fails. Relies on: dpkg-query, apt-get (root or sudo).

install_missing() {
  local tag="$1" log="$2"
  shift 2
  local missing=() pkg status
  for pkg in "$@"; do
    status="$(dpkg-query -W -f='${Status}' "$pkg" 2> /dev/null || true)"
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
  done
  ((${#missing[@]})) || return 0
  local sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  echo "$tag: installing ${missing[*]}"
  { "${sudo_cmd[@]}" apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
  } > "$log" 2>&1 || { cat "$log"; return 1; }
}
