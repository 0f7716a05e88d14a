#!/usr/bin/env python3
"""The third-party side of the Windows program folder, made from what was really built.

  thirdparty.py notices --dist DIR --origins FILE --prefixes 'P1;P2;...' --version V
                        --company NAME --sbom FILE --components FILE --cache DIR
      Works out which component every file of DIR comes from (a toolchain part, whose legal/
      folder says which Debian source it was built from, or a Debian package of the build
      machine), writes DIR/licenses/ (per component: copyright lines, licence texts, Debian's
      copyright file, the configure line) and DIR/THIRD-PARTY-NOTICES.txt, then the SPDX 2.3
      bill of materials with every file's checksums, and the component list for `sources`.
  thirdparty.py sources --components FILE --output TAR
      Puts the Debian source packages of the shipped components, with the configure lines, into
      one tar archive: the corresponding source to publish beside the installer.
"""

import argparse
import hashlib
import io
import json
import os
import posixpath
import re
import shutil
import subprocess
import sys
import tarfile

# How each Debian source package is shipped: its name, the licence it is used under (SPDX),
# and where the full licence texts are: files of its upstream source kept by the toolchain, or
# Debian's common licences. Debian's copyright file, always included, holds every other text.
KNOWN_SOURCES = {
    "qtbase-opensource-src": ("Qt", "LGPL-3.0-only",
                              ["LICENSE.LGPL3", "LICENSE.GPL3"]),
    "qttranslations-opensource-src": ("Qt translations",
                                      "GPL-3.0-only WITH Qt-GPL-exception-1.0",
                                      ["/usr/share/common-licenses/GPL-3"]),
    "openssl": ("OpenSSL", "Apache-2.0", ["LICENSE.txt"]),
    "curl": ("curl (libcurl)", "curl", ["COPYING"]),
    "cpp-httplib": ("cpp-httplib", "MIT", ["LICENSE"]),
    "libz-mingw-w64": ("zlib", "Zlib", []),
    "mingw-w64": ("MinGW-w64 runtime (winpthreads, start-up code)",
                  "MIT AND BSD-3-Clause AND ZPL-2.1", []),
    "gcc-mingw-w64": ("GCC runtime libraries (libgcc, libstdc++)",
                      "GPL-3.0-or-later WITH GCC-exception-3.1",
                      ["/usr/share/common-licenses/GPL-3"]),
}
# Licences that oblige whoever passes the binaries on to offer their source: these components'
# source packages go into the source archive. The others' licences ask for notices only; their
# Debian source package is named in the notice and the bill of materials.
SOURCE_OFFERED = {"qtbase-opensource-src", "qttranslations-opensource-src", "openssl", "curl",
                  "cpp-httplib", "libz-mingw-w64"}
# The Qt binaries shipped, by the qmake target they are built from.
QT_TARGET = re.compile(r"^(?:plugins/[^/]+/)?(\w+)\.dll$")


def upstream_version(debian_version):
    version = debian_version.split(":", 1)[-1].split("-", 1)[0]
    return re.sub(r"[+~](dfsg|ds|repack).*$", "", version)


def read_key_values(path):
    with open(path, encoding="utf-8") as stream:
        return dict(line.rstrip("\n").split("=", 1) for line in stream if "=" in line)


def debian_copyright_lines(path):
    """The Copyright lines of the copyright file's first `Files: *` paragraph."""
    with open(path, encoding="utf-8", errors="replace") as stream:
        paragraphs = stream.read().split("\n\n")
    for paragraph in paragraphs:
        if re.match(r"(?m)^Files:\s*\*\s*$", paragraph):
            match = re.search(r"(?ms)^Copyright:(.*?)(?=^\S|\Z)", paragraph)
            if match:
                return [line.strip() for line in match.group(1).splitlines() if line.strip()]
    return []


class Component:
    def __init__(self, source_package, debian_version, legal=None, copyright_file=None,
                 binary_version=None):
        name, licence, texts = KNOWN_SOURCES[source_package]
        self.key = re.sub(r"[^a-z0-9]+", "-", name.split(" (")[0].lower()).strip("-")
        self.name = name
        self.source_package = source_package
        self.debian_version = debian_version
        # A binary package may be built from another upstream than its source's own version
        # says (gcc-mingw-w64 25.2 builds GCC 12.2.0).
        self.version = upstream_version(binary_version or debian_version)
        self.licence = licence
        self.legal = legal  # a toolchain part's legal/ folder, or None
        self.copyright_file = copyright_file or os.path.join(legal, "debian-copyright")
        self.licence_files = []
        for text in texts:
            path = text if os.path.isabs(text) else os.path.join(legal, "licences", text)
            if not os.path.isfile(path):
                sys.exit(f"error: the licence text {path} of {name} is missing")
            self.licence_files.append(path)
        self.copyright = debian_copyright_lines(self.copyright_file)
        self.sources_folder = None
        self.configure = None
        if legal:
            self.sources_folder = read_key_values(os.path.join(legal, "source"))["sources"]
            with open(os.path.join(legal, "configure"), encoding="utf-8") as stream:
                self.configure = stream.read().strip()
        self.files = []
        self.bundled = []  # what Qt compiled into its libraries: qt_attribution.json entries

    @property
    def folder(self):
        return "licenses/" + self.key


def toolchain_parts(prefixes):
    """Maps each toolchain prefix to its component."""
    parts = {}
    for prefix in prefixes:
        legal = os.path.join(prefix, "legal")
        if os.path.isfile(os.path.join(legal, "source")):
            source = read_key_values(os.path.join(legal, "source"))
            parts[os.path.realpath(prefix)] = Component(
                source["source-package"], source["version"], legal=legal)
    return parts


def debian_component(path, by_source):
    """The component of a file installed on the build machine by a Debian package."""
    owner = subprocess.run(["dpkg-query", "-S", os.path.realpath(path)], check=True,
                           capture_output=True, text=True).stdout.split(":")[0]
    source, source_version, version = subprocess.run(
        ["dpkg-query", "-W", "-f=${source:Package}\t${source:Version}\t${Version}", owner],
        check=True, capture_output=True, text=True).stdout.split("\t")
    if source not in by_source:
        by_source[source] = Component(source, source_version, binary_version=version,
                                      copyright_file=f"/usr/share/doc/{owner}/copyright")
    return by_source[source]


def fetch_debian_source(cache, component):
    """Downloads a component's Debian source package into the cache, once; the folder, or
    None when the archives do not hand it out (a mirror may lack an old version's source)."""
    # Not in sources/, which the toolchain keeps to what it builds from.
    folder = os.path.join(cache, "debian-sources",
                          f"{component.source_package}_{component.debian_version}")
    if not os.path.isfile(os.path.join(folder, ".complete")):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        fetched = subprocess.run(["apt-get", "source", "-qq", "--download-only",
                                  f"{component.source_package}={component.debian_version}"],
                                 cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if fetched.returncode != 0:
            shutil.rmtree(folder)
            print(f"warning: the source of {component.source_package} "
                  f"{component.debian_version} cannot be fetched", file=sys.stderr)
            return None
        open(os.path.join(folder, ".complete"), "w").close()
    return folder


def snapshot_address(component):
    return (f"https://snapshot.debian.org/package/{component.source_package}/"
            f"{component.debian_version}/")


# --- Qt's bundled code ------------------------------------------------------------------------

def makefile_rules(text):
    """The variables and object-file rules of a qmake makefile."""
    text = text.replace("\\\n", " ")
    variables, objects = {}, {}
    for line in text.splitlines():
        match = re.match(r"^([A-Z_]+)\s*=\s*(.*)$", line)
        if match:
            variables[match.group(1)] = match.group(2).split()
            continue
        # Objects, and the sources qmake generates (resources, moc files) with what they take in.
        match = re.match(r"^(\S+\.(?:o|obj|cpp)):\s*(.*)$", line)
        if match:
            objects[match.group(1)] = match.group(2).split()
    return variables, objects


def qt_compiled_files(legal):
    """For each qmake target of the Windows build, the source files compiled into it (with
    what they include) and the static libraries it links, from the build's makefiles."""
    targets = {}
    with tarfile.open(os.path.join(legal, "makefiles.tar")) as archive:
        for member in archive.getmembers():
            name = posixpath.normpath(member.name)
            # Makefile, Makefile.Release, Makefile.<part>.Release: the release build's.
            if not member.isfile() or not re.fullmatch(r"Makefile(\.\w+)*", posixpath.basename(name)) \
                    or name.endswith(".Debug"):
                continue
            variables, objects = makefile_rules(
                archive.extractfile(member).read().decode("utf-8", "replace"))
            if not objects or "TARGET" not in variables:
                continue
            folder = posixpath.dirname(name)
            files = set()
            for prerequisites in objects.values():
                for path in prerequisites:
                    if not os.path.isabs(path):
                        path = posixpath.normpath(posixpath.join("build", folder, path))
                    # The toolchain builds Qt in work-qt.XXXXXX/build from work-qt.XXXXXX/source.
                    match = re.search(r"(?:^|/work-qt\.[^/]+/)source/(.*)$", path)
                    if match:
                        files.add(match.group(1))
            target = re.sub(r"^lib|\.(dll|a|exe)$", "", posixpath.basename(variables["TARGET"][0]))
            libraries = set()
            for token in variables.get("LIBS", []) + variables.get("LIBS_PRIVATE", []):
                if token.startswith("-l"):
                    libraries.add(token[2:])
                elif token.endswith(".a"):
                    libraries.add(re.sub(r"^lib|\.a$", "", posixpath.basename(token)))
            targets.setdefault(target, (set(), set()))
            targets[target][0].update(files)
            targets[target][1].update(libraries)
    return targets


def qt_attributions(legal):
    """Every qt_attribution.json entry of the source, with the folder it describes."""
    entries = []
    root = os.path.join(legal, "licences")
    for folder, _, names in os.walk(root):
        if "qt_attribution.json" not in names:
            continue
        with open(os.path.join(folder, "qt_attribution.json"), encoding="utf-8") as stream:
            data = json.loads(stream.read(), strict=False)  # Qt's have raw line breaks
        for entry in data if isinstance(data, list) else [data]:
            relative = os.path.relpath(folder, root)
            entry["_folder"] = posixpath.normpath(
                posixpath.join(relative.replace(os.sep, "/"), entry.get("Path", ".")))
            entry["_json_folder"] = folder
            entries.append(entry)
    return entries


def bundled_licence(entry):
    return entry.get("LicenseId") or entry.get("License") or "NOASSERTION"


def spdx_licence(entry, extracted):
    """The attribution's licence as an SPDX expression; one that is not (Qt writes a few as
    prose) becomes a licence reference that carries the text itself."""
    expression = re.sub(r" (or|and|with) ", lambda m: " " + m.group(1).upper() + " ",
                        bundled_licence(entry))
    if re.fullmatch(r"[A-Za-z0-9.+-]+( (AND|OR|WITH) [A-Za-z0-9.+-]+)*", expression):
        return expression
    reference = "LicenseRef-" + re.sub(r"[^A-Za-z0-9.-]+", "-", entry["Id"])
    text = expression  # "Public Domain" comes without a text
    if entry.get("_texts"):
        with open(entry["_texts"][0], encoding="utf-8", errors="replace") as stream:
            text = stream.read()
    extracted[reference] = {"licenseId": reference, "name": expression, "extractedText": text}
    return reference


def qt_bundled(component, shipped):
    """The attributions whose code went into the shipped Qt files, each with those files."""
    targets = qt_compiled_files(component.legal)
    entries = qt_attributions(component.legal)
    found = {}
    for file in shipped:
        match = QT_TARGET.match(file)
        if not match or match.group(1) not in targets:
            sys.exit(f"error: no Qt build target makes {file}")
        compiled, pending, seen = set(), [match.group(1)], set()
        while pending:  # the target and the static libraries it links, transitively
            target = pending.pop()
            if target in seen or target not in targets:
                continue
            seen.add(target)
            compiled |= targets[target][0]
            pending.extend(targets[target][1])
        for entry in entries:
            if entry.get("QtUsage", "").lower().startswith("not used"):
                continue
            folder = entry["_folder"]
            listed = entry.get("Files", "").replace(",", " ").split()
            if listed:
                used = any(posixpath.join(folder, name) in compiled for name in listed)
            else:
                used = any(path == folder or path.startswith(folder + "/") for path in compiled)
            if used:
                found.setdefault(entry["Id"], (entry, []))[1].append(file)
    return [found[key] for key in sorted(found)]


# --- Writing the folder's notices -------------------------------------------------------------

def copy_text(source, destination):
    os.makedirs(os.path.dirname(destination), exist_ok=True)
    shutil.copyfile(source, destination)


def write_component_folder(dist, component):
    folder = os.path.join(dist, component.folder)
    lines = [f"{component.name} {component.version}",
             f"Debian source package: {component.source_package} {component.debian_version}",
             f"Licence: {component.licence}", "", "Copyright:"]
    lines += ["  " + line for line in component.copyright] or ["  (see debian-copyright.txt)"]
    lines += ["", "Files in this folder:"] + ["  " + file for file in component.files]
    if component.configure:
        lines += ["", "Configured for the build with:", "  " + component.configure]
    component.texts = []
    for path in component.licence_files:
        name = os.path.basename(path)
        name = name if name.endswith(".txt") else name + ".txt"
        copy_text(path, os.path.join(folder, name))
        component.texts.append(name)
    copy_text(component.copyright_file, os.path.join(folder, "debian-copyright.txt"))
    component.texts.append("debian-copyright.txt")
    if component.bundled:
        lines += ["", "Third-party code that Qt compiles into these files:"]
    for entry, files in component.bundled:
        key = re.sub(r"[^a-z0-9]+", "-", entry["Id"].lower()).strip("-")
        lines += ["", f"  {entry['Name']} {entry.get('Version') or ''}".rstrip(),
                  f"    in: {windows_names(files)}",
                  f"    Licence: {bundled_licence(entry)}"]
        lines += ["    " + line for line in entry.get("Copyright", "").splitlines()]
        licence_files = entry.get("LicenseFile") or []
        entry["_texts"] = []
        for index, licence_file in enumerate(licence_files if isinstance(licence_files, list)
                                             else [licence_files]):
            text_name = f"bundled/{key}{'-' + str(index + 1) if index else ''}.txt"
            source = os.path.normpath(os.path.join(entry["_json_folder"], licence_file))
            if not os.path.isfile(source):
                sys.exit(f"error: the licence text {licence_file} of Qt's {entry['Id']} is missing")
            copy_text(source, os.path.join(folder, text_name))
            entry["_texts"].append(source)
            lines.append(f"    Licence text: {text_name.replace('/', chr(92))}")
        entry["_key"] = key
    with open(os.path.join(folder, "README.txt"), "w", encoding="utf-8", newline="\r\n") as stream:
        stream.write("\n".join(lines) + "\n")


NOTICE_HEAD = """第三方软件声明 / Third-party notices
Colvane {version} (Windows x64)

本文件夹中的程序使用了下列第三方软件。每一项列出包含它的文件、它的许可证，以及
licenses\\ 下存放其版权声明和许可证全文的文件夹。

The programs of this folder use the third-party software below. Each entry names the
files that hold it, its licence, and the folder under licenses\\ with its copyright
notices and full licence texts.
"""

NOTICE_QT = """
Qt 与 LGPL-3.0 / Qt and the LGPL-3.0

本程序以 GNU 宽通用公共许可证第 3 版（LGPL-3.0）使用 Qt {qt}，以共享库的形式：
{qt_files}。
您可以用自己构建的同一版本 Qt（{qt}，MinGW-w64 x86_64，POSIX 线程）替换这些文件；
本程序会加载同名的库。构建所用的配置命令见 licenses\\qt\\README.txt。

This program uses Qt {qt} under the GNU Lesser General Public License version 3
(LGPL-3.0), as shared libraries: {qt_files}.
You may replace them with your own build of the same Qt version ({qt}, MinGW-w64
x86_64, POSIX threads); the program loads whatever libraries of those names it finds
beside it. The configure line used is in licenses\\qt\\README.txt.
"""

NOTICE_SOURCE = """
源代码 / Corresponding source

上述第三方部件的完整对应源代码——构建时所用的 Debian 源码包（.dsc 及源码压缩包）和
配置命令——在 {archive} 中，与本程序的安装程序一同发布。
也可以从 Debian 的软件源按上面列出的源码包名称和版本获取。

The complete corresponding source of the third-party parts above, the Debian source
packages (.dsc and tarballs) they were built from and the configure lines used, is in
{archive}, published beside this program's installer. The same source packages can
also be had from Debian's archives by the names and versions listed above.
"""


def windows_names(files):
    return ", ".join(file.replace("/", "\\") for file in files)


def source_directions(component, archive):
    if component.source_package not in SOURCE_OFFERED:
        return "not needed by its licence; Debian's " + snapshot_address(component)
    if component.sources_folder:
        return f"in {archive}"
    return f"not in {archive}, as Debian's mirror would not hand it out: {snapshot_address(component)}"


def write_notice(dist, components, own_files, version, archive):
    parts = [NOTICE_HEAD.format(version=version),
             f"\nColvane 自己的文件 / Colvane's own files: {windows_names(own_files)}\n"]
    for component in components:
        parts.append(f"\n{component.name} {component.version}\n"
                     f"  Debian source package: {component.source_package} "
                     f"{component.debian_version}\n"
                     f"  Files: {windows_names(component.files)}\n"
                     f"  Licence: {component.licence}\n"
                     f"  Source: {source_directions(component, archive)}\n"
                     f"  Copyright notices and licence texts: "
                     f"{component.folder.replace('/', chr(92))}\\\n")
        for entry, files in component.bundled:
            parts.append(f"  includes {entry['Name']} {entry.get('Version') or ''}".rstrip()
                         + f" ({bundled_licence(entry)})\n")
    qt = next((c for c in components if c.source_package == "qtbase-opensource-src"), None)
    if qt:
        parts.append(NOTICE_QT.format(qt=qt.version, qt_files=windows_names(qt.files)))
    parts.append(NOTICE_SOURCE.format(archive=archive))
    with open(os.path.join(dist, "THIRD-PARTY-NOTICES.txt"), "w", encoding="utf-8-sig",
              newline="\r\n") as stream:
        stream.write("".join(parts))


# --- The bill of materials --------------------------------------------------------------------

def spdx_id(text):
    return "SPDXRef-" + re.sub(r"[^A-Za-z0-9.-]+", "-", text).strip("-")


def file_checksums(path):
    sha1, sha256 = hashlib.sha1(), hashlib.sha256()
    with open(path, "rb") as stream:
        for block in iter(lambda: stream.read(1 << 20), b""):
            sha1.update(block)
            sha256.update(block)
    return [{"algorithm": "SHA1", "checksumValue": sha1.hexdigest()},
            {"algorithm": "SHA256", "checksumValue": sha256.hexdigest()}]


def write_sbom(dist, components, owners, statically_linked, version, company, output):
    name = f"colvane-{version}-x64"
    product = {"SPDXID": "SPDXRef-Package-colvane", "name": "Colvane", "versionInfo": version,
               "supplier": f"Organization: {company}", "downloadLocation": "NOASSERTION",
               "filesAnalyzed": False, "licenseConcluded": "NOASSERTION",
               "licenseDeclared": "NOASSERTION", "copyrightText": f"Copyright {company}",
               "primaryPackagePurpose": "APPLICATION"}
    extracted = {}
    packages, relationships = [product], [
        {"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
         "relatedSpdxElement": product["SPDXID"]}]
    for component in components:
        package = {
            "SPDXID": spdx_id("Package-" + component.key), "name": component.name,
            "versionInfo": component.version, "downloadLocation": "NOASSERTION",
            "filesAnalyzed": False, "licenseConcluded": component.licence,
            "licenseDeclared": component.licence,
            "copyrightText": "\n".join(component.copyright) or "NOASSERTION",
            "sourceInfo": f"built from the Debian source package {component.source_package} "
                          f"{component.debian_version}",
            "externalRefs": [{
                "referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                "referenceLocator": f"pkg:deb/debian/{component.source_package}@"
                                    + component.debian_version.replace("+", "%2B")
                                    + "?arch=source"}]}
        packages.append(package)
        relationships.append({"spdxElementId": product["SPDXID"], "relationshipType": "CONTAINS",
                              "relatedSpdxElement": package["SPDXID"]})
        for entry, _ in component.bundled:
            bundled = {"SPDXID": spdx_id(f"Package-{component.key}-{entry['_key']}"),
                       "name": entry["Name"],
                       "downloadLocation": entry.get("DownloadLocation") or "NOASSERTION",
                       "filesAnalyzed": False,
                       "licenseConcluded": "NOASSERTION",
                       "licenseDeclared": spdx_licence(entry, extracted),
                       "copyrightText": entry.get("Copyright") or "NOASSERTION",
                       "comment": f"compiled into {component.name} {component.version}"}
            if entry.get("Version"):
                bundled["versionInfo"] = entry["Version"]
            packages.append(bundled)
            relationships.append({"spdxElementId": package["SPDXID"],
                                  "relationshipType": "CONTAINS",
                                  "relatedSpdxElement": bundled["SPDXID"]})
    files, sha1s = [], {}
    for relative in sorted(owners):
        file_id = spdx_id("File-" + relative)
        checksums = file_checksums(os.path.join(dist, relative))
        files.append({"SPDXID": file_id, "fileName": "./" + relative, "checksums": checksums})
        owner = owners[relative]
        package_id = spdx_id("Package-" + owner.key) if owner else product["SPDXID"]
        sha1s.setdefault(package_id, []).append(checksums[0]["checksumValue"])
        relationships.append({"spdxElementId": package_id, "relationshipType": "CONTAINS",
                              "relatedSpdxElement": file_id})
        if owner is None and relative in statically_linked:
            relationships.append({"spdxElementId": file_id, "relationshipType": "STATIC_LINK",
                                  "relatedSpdxElement": spdx_id(
                                      "Package-" + statically_linked[relative].key)})
    # A package that lists its files carries their verification code (SPDX 2.3, 7.9).
    for package in packages:
        if package["SPDXID"] in sha1s:
            package["filesAnalyzed"] = True
            package["packageVerificationCode"] = {"packageVerificationCodeValue": hashlib.sha1(
                "".join(sorted(sha1s[package["SPDXID"]])).encode()).hexdigest()}
    digest = hashlib.sha256("".join(f["checksums"][1]["checksumValue"] for f in files)
                            .encode()).hexdigest()
    created = subprocess.run(["date", "-u", "+%Y-%m-%dT%H:%M:%SZ"], check=True,
                             capture_output=True, text=True).stdout.strip()
    document = {
        "spdxVersion": "SPDX-2.3", "dataLicense": "CC0-1.0", "SPDXID": "SPDXRef-DOCUMENT",
        "name": name,
        "documentNamespace": f"https://colvane.example.org/spdx/{name}-{digest}",
        "creationInfo": {"created": created, "creators": [
            f"Organization: {company}", "Tool: colvane-thirdparty.py"]},
        "packages": packages, "files": files, "relationships": relationships}
    if extracted:
        document["hasExtractedLicensingInfos"] = list(extracted.values())
    with open(output, "w", encoding="utf-8") as stream:
        json.dump(document, stream, ensure_ascii=False, indent=1)
        stream.write("\n")


# --- Commands ---------------------------------------------------------------------------------

def notices(arguments):
    dist = arguments.dist
    prefixes = [prefix for prefix in arguments.prefixes.split(";") if prefix]
    parts = toolchain_parts(prefixes)
    by_source = {}
    owners = {}  # dist file -> component, None for the project's own
    with open(arguments.origins, encoding="utf-8") as stream:
        origins = [line.rstrip("\n").split("\t") for line in stream if line.strip()]
    for relative, origin in origins:
        if not os.path.isfile(os.path.join(dist, relative)):
            continue  # not installed in this build
        if origin.startswith("project"):
            owners[relative] = None
            continue
        real = os.path.realpath(origin)
        part = next((c for p, c in parts.items() if real.startswith(p + os.sep)), None)
        owners[relative] = part or debian_component(origin, by_source)
    statically_linked = {}  # the project's programs with a library compiled in
    for relative, origin in origins:
        if origin == "project+cpp-httplib" and os.path.isfile(os.path.join(dist, relative)):
            httplib = next(c for c in parts.values() if c.source_package == "cpp-httplib")
            httplib.files.append(relative)
            statically_linked[relative] = httplib
    for relative, component in owners.items():
        if component:
            component.files.append(relative)
    components = sorted({id(c): c for c in owners.values() if c}.values(),
                        key=lambda c: c.name.lower())
    components += sorted((c for c in parts.values() if c.files and c not in components),
                         key=lambda c: c.name.lower())
    for component in components:
        component.files.sort()
        if not component.sources_folder and component.source_package in SOURCE_OFFERED:
            component.sources_folder = fetch_debian_source(arguments.cache, component)
        if component.source_package == "qtbase-opensource-src":
            component.bundled = qt_bundled(component, component.files)
    shutil.rmtree(os.path.join(dist, "licenses"), ignore_errors=True)
    for component in components:
        write_component_folder(dist, component)
    # Every file now in the folder belongs to someone: the rest is the project's own (qt.conf).
    for folder, _, names in os.walk(dist):
        for name in names:
            relative = os.path.relpath(os.path.join(folder, name), dist).replace(os.sep, "/")
            if relative.startswith("licenses/"):
                key = relative.split("/")[1]
                owners[relative] = next(c for c in components if c.key == key)
            elif relative not in owners:
                owners[relative] = None
    owners["THIRD-PARTY-NOTICES.txt"] = None
    archive = f"colvane-{arguments.version}-x64-third-party-sources.tar"
    write_notice(dist, components, sorted(f for f, owner in owners.items() if owner is None),
                 arguments.version, archive)
    write_sbom(dist, components, owners, statically_linked, arguments.version,
               arguments.company, arguments.sbom)
    with open(arguments.components, "w", encoding="utf-8") as stream:
        json.dump([{"name": c.name, "key": c.key, "source_package": c.source_package,
                    "debian_version": c.debian_version, "sources": c.sources_folder,
                    "configure": c.configure, "offered": c.source_package in SOURCE_OFFERED,
                    "snapshot": snapshot_address(c)}
                   for c in components], stream, indent=1)


def sources(arguments):
    with open(arguments.components, encoding="utf-8") as stream:
        components = json.load(stream)
    readme = ["Corresponding source of the third-party parts of the Colvane Windows program.",
              "Each folder holds a Debian source package (.dsc and tarballs; unpack with",
              "`dpkg-source -x NAME.dsc`) and, for the parts built for it, CONFIGURE.txt with",
              "the configure line used (MinGW-w64 x86_64, GCC 12, POSIX threads).", ""]
    with tarfile.open(arguments.output, "w") as archive:
        for component in components:
            if not component["offered"]:
                readme.append(f"{component['name']}: not included, its licence asks for no "
                              f"source; Debian source package {component['source_package']} "
                              f"{component['debian_version']}")
                continue
            folder = component["sources"]
            if not folder:
                readme.append(f"{component['name']}: not included, Debian's mirror would not "
                              f"hand it out; {component['snapshot']}")
                continue
            top = "{source_package}_{debian_version}".format(**component)
            for name in sorted(os.listdir(folder)):
                if not name.startswith("."):
                    archive.add(os.path.join(folder, name), arcname=f"{top}/{name}")
            if component["configure"]:
                data = (component["configure"] + "\n").encode()
                info = tarfile.TarInfo(f"{top}/CONFIGURE.txt")
                info.size = len(data)
                archive.addfile(info, io.BytesIO(data))
            readme.append(f"{component['name']}: {top}/")
        data = ("\n".join(readme) + "\n").encode()
        info = tarfile.TarInfo("README.txt")
        info.size = len(data)
        archive.addfile(info, io.BytesIO(data))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    command = commands.add_parser("notices")
    for option in ("dist", "origins", "prefixes", "version", "company", "sbom", "components",
                   "cache"):
        command.add_argument("--" + option, required=True)
    command = commands.add_parser("sources")
    for option in ("components", "output"):
        command.add_argument("--" + option, required=True)
    arguments = parser.parse_args()
    {"notices": notices, "sources": sources}[arguments.command](arguments)


if __name__ == "__main__":
    main()
