#!/bin/sh
# Assembles the sample application into dist/sample/: HelloApp.exe (a copy of the 64-bit
# launcher branded with the sample's name, version and icon), HelloApp.ini, lib\*.jar
# compiled for Java 8, the splash image, and HelloApp.msi, the installer of all of these.
# Copy the folder onto a Windows machine with a 64-bit Java runtime installed (or put one in
# dist/sample/jre64) and start HelloApp.exe.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
dist=${VMBOOT_DIST:-$repo/dist}
out=$dist/sample
jdk=${JAVA_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}

find_launcher() {
    for candidate in "$dist/$1" "$repo/build/$2/$1"; do
        if [ -f "$candidate" ]; then echo "$candidate"; return 0; fi
    done
    return 1
}
launcher64=$(find_launcher vmboot64.exe win64) || {
    echo "build_sample: vmboot64.exe not found (build the win64 preset first)" >&2; exit 1; }
brand=$(find_launcher vmbootbrand linux) || brand=$(find_launcher vmbootbrand native) || {
    echo "build_sample: vmbootbrand not found (build the linux preset first)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/util" "$work/app"

# Java 8 class files; jars stored without compression, as any runtime reads them.
"$jdk/bin/javac" --release 8 -nowarn -d "$work/util" $(find "$repo/sample/src/util" -name '*.java')
"$jdk/bin/javac" --release 8 -nowarn -cp "$work/util" -d "$work/app" \
    $(find "$repo/sample/src/app" -name '*.java')
rm -rf "$out"
mkdir -p "$out/lib"
"$jdk/bin/jar" --create --no-compress --file "$out/lib/sample-util.jar" -C "$work/util" .
"$jdk/bin/jar" --create --no-compress --file "$out/lib/hello-app.jar" \
    --main-class com.example.hello.HelloApp -C "$work/app" .

# The splash image is committed; sample/tools/MakeSplash.java drew it (it needs fonts):
#   javac -d /tmp/s sample/tools/MakeSplash.java && java -Djava.awt.headless=true -cp /tmp/s MakeSplash sample/splash.png
cp "$repo/sample/splash.png" "$out/splash.png"

# The icon: the splash's white "H" on the splash's colours, in the sizes the shell asks for.
convert "$repo/sample/splash.png" -crop 34x38+32+66 +repage -colorspace gray -level 55%,95% \
    -alpha copy -fill white -colorize 100 "$work/letter.png"
convert -size 256x256 gradient:'#225080'-'#2a8a64' \( "$work/letter.png" -resize 200x200 \) \
    -gravity center -composite -define icon:auto-resize=256,48,32,24,16 "$work/HelloApp.ico"
"$brand" --icon "$work/HelloApp.ico" --name HelloApp --description "vmboot sample application" \
    --company "vmboot sample" --copyright "Public domain" --version 1.0.0.0 \
    "$launcher64" "$out/HelloApp.exe"
# Windows reads the configuration with the profile functions: CRLF line ends.
sed 's/$/\r/' "$repo/sample/HelloApp.ini" > "$out/HelloApp.ini"
# The installer: per machine into Program Files, a Start-menu shortcut, the .hello file type.
if command -v wixl >/dev/null 2>&1; then
    # wixl 0.101 finds no source file by an absolute path: the paths are relative to $out.
    (cd "$out" && wixl -a x64 -D SampleDir=. -o "$work/HelloApp.msi" "$repo/sample/HelloApp.wxs")
    mv "$work/HelloApp.msi" "$out/HelloApp.msi"
else
    echo "build_sample: wixl (Debian's msitools) is missing: no HelloApp.msi (scripts/setup.sh)" >&2
fi
echo "sample assembled in $out"
ls -l "$out" "$out/lib"
