#!/bin/bash
# Builds the Debian package as scripts/package does and checks it as a user's machine would
# meet it: lintian finds no error (and every warning it gives is explained in the README), the
# launcher and the metainfo validate, the files are the ones the README lists, and the programs
# unpacked into a scratch root answer --help and --version with the package's version. The
# manual page names every option, variable and exit status of --help.
#   check-package.sh SOURCE_DIR PACKAGE_BUILD_DIR
set -euo pipefail
src=$1
build=$2
fail=0
problem() {
    echo "FAIL: $*" >&2
    fail=1
}
for tool in lintian desktop-file-validate appstreamcli dpkg-deb dpkg-shlibdeps systemd-analyze man; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/packages.txt)" >&2; exit 1; }
done

ZARQ_PACKAGE_DIR=$build "$src/scripts/package" >/dev/null
debs=("$build"/zarq_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single package in $build" >&2; exit 1; }
deb=${debs[0]}
echo "package: $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
dpkg -x "$deb" "$root"

# The version: from the project (the build writes it into the program), in the control file,
# the file name, the metainfo's release and zarq --version.
project=$(sed -n 's/^project(Zarq VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
control=$(dpkg-deb -f "$deb" Version)
[ "$control" = "$project" ] || problem "package version $control, project version $project"
case "$(basename "$deb")" in "zarq_${project}_"*.deb) ;; *) problem "file name $(basename "$deb")" ;; esac
grep -q "<release version=\"$project\"" "$root/usr/share/metainfo/com.tervan.zarq.metainfo.xml" ||
    problem "the metainfo's release is not $project"
four=$project
while [ "$(echo "$four" | tr -cd . | wc -c)" -lt 3 ]; do four=$four.0; done

# The dependencies were computed: the Qt and C++ libraries the binaries link appear there.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6network6 libqt6widgets6 libc6 libcurl4 libmspack0; do
    case "$depends" in *"$lib"*) ;; *) problem "Depends lacks $lib: $depends" ;; esac
done
case "$(dpkg-deb -f "$deb" Recommends)" in
    *qt6-qpa-plugins*fonts-noto-cjk* | *fonts-noto-cjk*qt6-qpa-plugins*) ;;
    *) problem "Recommends: $(dpkg-deb -f "$deb" Recommends)" ;;
esac

# The files: exactly those the README lists in its package section.
awk '/<!-- package contents -->/ { block = 1; next }
     block && /^```$/ { if (++fences == 2) exit; next }
     block && fences == 1 { print }' "$src/README.md" | sort >"$scratch/promised"
[ -s "$scratch/promised" ] || problem "the README lists no package contents"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./|/|' | sort >"$scratch/shipped"
if ! diff -u "$scratch/promised" "$scratch/shipped" >"$scratch/contents.diff"; then
    problem "package contents differ from the README (- README, + package):"
    cat "$scratch/contents.diff" >&2
fi
# Directories and files readable by all, programs executable, nothing writable by others.
if find "$root" -perm /022 -not -type l | grep -q .; then
    problem "files writable by group or others: $(find "$root" -perm /022 -not -type l)"
fi

# lintian: no error; each warning's tag explained in the README.
lintian --allow-root --fail-on error --display-level '>=warning' "$deb" >"$scratch/lintian" 2>&1 ||
    { problem "lintian reports errors:"; cat "$scratch/lintian" >&2; }
cat "$scratch/lintian"
for tag in $(sed -n 's/^W: zarq[^:]*: \([a-z0-9-]*\).*/\1/p' "$scratch/lintian" | sort -u); do
    grep -q "\`$tag\`" "$src/README.md" || problem "lintian warning $tag is not explained in the README"
done

# Hints count too: a launcher in two main categories shows twice in some menus.
out=$(desktop-file-validate "$root/usr/share/applications/zarq.desktop" 2>&1) && [ -z "$out" ] ||
    problem "desktop-file-validate: $out"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/com.tervan.zarq.metainfo.xml" ||
    problem "appstreamcli validate"

# The unit starts the packaged program headless.
unit=$root/usr/lib/systemd/user/zarq.service
exec_line=$(sed -n 's/^ExecStart=//p' "$unit")
[ "$exec_line" = "/usr/bin/zarq --headless" ] || problem "ExecStart=$exec_line"
[ -x "$root${exec_line%% *}" ] || problem "the unit's program is not in the package"
# systemd's own reading of the unit, pointed at the unpacked program and manual page.
mkdir "$scratch/unit"
sed "s|^ExecStart=/|ExecStart=$root/|" "$unit" >"$scratch/unit/zarq.service"
MANPATH=$root/usr/share/man systemd-analyze verify "$scratch/unit/zarq.service" ||
    problem "systemd-analyze verify zarq.service"

# The programs from the scratch root, with nothing of this machine's session around them.
run() {
    env -i HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache" \
        PATH=/usr/bin:/bin "$@"
}
mkdir -p "$scratch/home"
run "$root/usr/bin/zarq" --help >"$scratch/help" || problem "zarq --help failed"
grep -q '^Usage: zarq' "$scratch/help" || problem "zarq --help printed no usage"
for program in "$root/usr/bin/zarq" "$root/usr/libexec/zarq/zarq-desktop"; do
    out=$(run "$program" --version) || problem "$program --version failed"
    [ "$out" = "zarq $four" ] || problem "$program --version printed '$out', not 'zarq $four'"
done

# The manual page names every option, environment variable and exit status of --help.
zcat "$root/usr/share/man/man1/zarq.1.gz" | sed 's/\\-/-/g' >"$scratch/man"
for word in $(grep -oE -- '--[a-z][a-z-]*|ZARQ_[A-Z_]+' "$scratch/help" | sort -u); do
    grep -qF -- "$word" "$scratch/man" || problem "the manual page lacks $word"
done
for status in $(sed -n '/^Exit status/,/^$/s/^  \([0-9]\)  .*/\1/p' "$scratch/help"); do
    grep -qx "\.B $status" "$scratch/man" || problem "the manual page lacks exit status $status"
done
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/zarq.1.gz" 2>"$scratch/man.err" >/dev/null
[ ! -s "$scratch/man.err" ] || { problem "man reports:"; cat "$scratch/man.err" >&2; }

[ $fail -eq 0 ] && echo "package checks passed"
exit $fail
