# Sourced by the benches that judge the analysis on released music: unpack_listed LIST SCRATCH
# downloads (does not install) every package the tab-separated LIST names in its first column
# and takes out of each only the files its second column lists (a "#" there starts a remark),
# under SCRATCH/root/PACKAGE, once.
unpack_listed() {
  local list=$1 scratch=$2 package
  mkdir -p "$scratch/debs" "$scratch/root"
  for package in $(grep -v '^#' "$list" | cut -f1 | sort -u); do
    [ -e "$scratch/root/$package/.unpacked" ] && continue
    if ! ls "$scratch/debs/${package}"_*.deb >/dev/null 2>&1; then
      (cd "$scratch/debs" && apt-get download "$package" >/dev/null 2>&1) ||
        (apt-get update >/dev/null && cd "$scratch/debs" && apt-get download "$package" >/dev/null)
    fi
    mkdir -p "$scratch/root/$package"
    mapfile -t files < <(awk -F'\t' -v p="$package" '$1 == p { sub(/#.*/, "", $2); print "./" $2 }' \
      "$list" | sort -u)
    dpkg-deb --fsys-tarfile "$(ls "$scratch/debs/${package}"_*.deb | head -n1)" |
      tar -x -C "$scratch/root/$package" "${files[@]}"
    touch "$scratch/root/$package/.unpacked"
  done
}
