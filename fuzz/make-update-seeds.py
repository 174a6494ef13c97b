#!/usr/bin/python3
"""Writes the seed corpus of the update side's fuzz targets (control file, updater command line
and list files, LZ files, cabinets) in the forms the tests use. Run once after changing a seed
list; the files are kept in the repository. Needs gcab for the archiver-made cabinet."""
import os
import shutil
import struct
import subprocess
import sys

from seedfiles import write
import tempfile


def gbk(text):
    return text.encode("gbk")


# --- control files ---------------------------------------------------------------------------
write("control_file", [
    b"[update]\r\nsignature=AutoUpdate\r\ndescr=test\r\ndate=25/07/2008\r\ntime=23:59\r\n"
    b"localversion={APP}\\zarq\r\nunconditional=\r\nnewversion=1.2.3.4\r\nnewsize=0\r\n"
    b"newchecksum=-1\r\n[application]\r\nappupdate=1\r\nappname=zarq\r\nappparam=\r\n"
    b"appcomps=zarq_NEW update.inf\r\nsilentrestart=1\r\n[files]\r\ncount=2\r\n"
    b"[file1]\r\nurl=http://127.0.0.1/zarq_NEW\r\nlocalversion={APP}\\zarq\r\n"
    b"newversion=2.0.12\r\ntargetdir={TMP}\r\ncompressed=0\r\npreselect=\r\n"
    b"[file2]\r\nurl=http://127.0.0.1/pack.cab\r\ndate=31/12/2009\r\ntime=23:59\r\n"
    b"targetdir={APP}\\sub\\\r\ncompressed=1\r\nnewchecksum=$FFFF\r\nfilesize=0x10\r\n",
    b"[Files]\r\nCOUNT=3\r\n[file1]\r\nUrl=http://h/a.exe\r\n",
    b"[files]\ncount=0x2\n[a]\ncount=two\ncompressed=2\nhidden=1\n[file2]\nnewversion=1.2,3.4\n",
    b"[files]\ncount=-5\n[file1]\nurl=x\n",
    b"[files]\ncount=65536\n[file70000]\nurl=x\n",
    b"[s]\nkey only line\n=no key\nk=1\n[s]\nk=2\n",
    b"[action]\nmsg=" + gbk("有新版本") + b"\\nline two\nquery='ask?'\nrunbefore=\"{APP}\\x.sh\"\n"
    b"htmldlg={DOC}\\news.html\nshowURL=http://127.0.0.1/\nupdateURL=http://127.0.0.1/u2.txt\n",
    b"[update]\nnewversion=70000.1.0.0\ndate=2009-12-31\ntime=25:00\nlocalversion={WIN\\x\n"
    b"[application]\nappname={FOO}\\x {app}{tmp}{doc}{pf}{sys}\n",
    b"[update]\nnewversion=1.2.3.x\n[file1]\nnewversion=7\n[files]\ncount=1\n",
    b"[fuzz]\ndateformat=yyyy-mm-dd\ndateseparator=-\ntimeseparator=.\n"
    b"[update]\ndate=2009-12-31\ntime=23.59.30\n[files]\ncount=1\n[file1]\ndate=1-2-3\ntime=0.0\n",
    b"[fuzz]\ndateformat=mm/dd/yy\n[update]\ndate=12/31/09\ntime=7:05\n",
    b"[folders]\nA={A}/{A}\nB={b}\ntext={A}{B}{A}\n",
    b"[folders]\nAPP=/x/{APP}\ntext={APP}/{APP}/{{APP}}/{APP\n",
    b"[custom]\nvalidatemsg=\"quoted\"\nvalidateparam='single'\n[eula]\nfile=eula.txt\n"
    b"[whatsnew]\nfile=news.txt\nokbtn=\n",
    b"[update]\ndescr=" + b"x" * 2100 + b"\n[application]\nappcomps=" + b"\xd5\xc5" * 1100 + b"\n",
])

# --- updater command lines -------------------------------------------------------------------
write("updater_command_line", [
    "77 X /opt/z/zarq \"--from update\" \"/t/\" a.cab b.inf",
    "123 L /home/u/zarq \" \" \"/home/u/.cache/tervan/tmp/\" zarq_NEW update.inf",
    "1 X null \" \" \"/t/\"",
    "4294967296 X a b c d",
    "abc X a",
    "\"\" \"\" \"\"",
    "12\tX\x01/a\\b\\ \"c d\"e\" f",
    b"55 X /opt/\xd5\xc5/zarq \"\xd5\xc5 \xc8\xfd\" \"/t/\" \xd5\xc5.exe",
    b"9 X a \x00b \"c\x00\" d",
    "zarq\n--update\nzarq_NEW update.inf",
    "my program\n\npack.cab \"two words.inf\"",
    "name\twith\ttabs\n\x1fparam\n\"unclosed",
])

# --- updater list files ----------------------------------------------------------------------
write("updater_list_file", [
    "[FILES]\r\nCOUNT=4\r\nFILE1=a.txt_NEW\r\nTARGET1={APP}\r\nFILE2=b.ex_\r\nTARGET2={APP}\\bin\r\n"
    "FILE3=c.cab\r\nTARGET3={TMP}\r\nFILE4=plain.txt\r\nTARGET4=sub\r\n",
    "[FILES]\nCOUNT=6\nFILE1=../stage/a.txt_NEW\nTARGET1={APP}\nFILE2=a.txt_NEW\nTARGET2=..\n"
    "FILE3=a.txt_NEW\nTARGET3=/\nFILE4=plain.txt\nTARGET4={APP}\\out\nFILE5=c.cab\n"
    "TARGET5={APP}/out/deeper\nFILE6=/etc/passwd\nTARGET6={APP}\n",
    "[FILES]\nCOUNT=3\nFILE1=linked.txt_NEW\nTARGET1={APP}\nFILE2=c.cab\nTARGET2={APP}/../outside\n"
    "FILE3=b.ex_\nTARGET3={TMP}/../stage\n",
    "[FILES]\nCOUNT=2\nFILE1=LIST.INF\nTARGET1={APP}\nFILE2=sub/../LIST.INF\nTARGET2={TMP}\n",
    "[files]\ncount=+2\nfile1=\"a.txt_NEW\"\ntarget1='{app}'\nfile2=plain.txt\ntarget2={DOC}\n"
    "; comment\n[other]\nfile1=x\n",
    "[FILES]\nCOUNT=2\nFILE1=x.exe\nTARGET1={APP}\nFILE2=y.pat\nTARGET2={APP}\n",
    "[FILES]\nCOUNT=1\nFILE1=" + "a" * 140 + "\nTARGET1={APP}\n",
    b"[FILES]\nCOUNT=1\nFILE1=\xd5\xc5.txt_NEW\nTARGET1={APP}\\\xd5\xc5\n",
    "[FILES]\nCOUNT=99999999999\nFILE1=a.txt_NEW\nTARGET1={APP}\n",
])


# --- LZ (SZDD) files -------------------------------------------------------------------------
def szdd(data, missing, tokens=None):
    """An SZDD file whose body holds `tokens` (bytes literals, or (offset, length) matches into
    the 4096-byte window); by default every byte of `data` as a literal."""
    if tokens is None:
        tokens = [bytes([b]) for b in data]
    body = b""
    for i in range(0, len(tokens), 8):
        group = tokens[i:i + 8]
        control = 0
        out = b""
        for bit, token in enumerate(group):
            if isinstance(token, bytes):
                control |= 1 << bit
                out += token
            else:
                offset, length = token
                out += bytes([offset & 0xFF, ((offset >> 4) & 0xF0) | (length - 3)])
        body += bytes([control]) + out
    return b"SZDD\x88\xf0\x27\x33A" + missing + struct.pack("<I", len(data)) + body


# The window starts at 4096 - 16: "abc" written there, a match of 6 from that position repeats it.
repeat = szdd(b"abcabcabc", b"t", [b"a", b"b", b"c", (4096 - 16, 6)])
write("szdd", [
    b"\x00" + szdd(b"the updater program\n", b"e"),
    b"\x01" + szdd(b"not named by an underscore", b"t"),
    b"\x02" + szdd(b"x", b"."),
    b"\x03" + szdd(b"dot", b"."),
    b"\x04" + repeat,
    b"\x00" + szdd(b"truncated body", b"e")[:-5],
    b"\x00" + szdd(b"", b"e"),
    b"\x00" + szdd(b"slash", b"/"),
    b"\x00" + b"SZDD\x88\xf0\x27\x33A\x00" + struct.pack("<I", 0xFFFFFFFF) + b"\xff" + b"x" * 8,
    b"\x01plain file, not compressed\n",
    b"\x00KWAJ\x88\xf0\x27\xd1 another format",
])


# --- cabinets --------------------------------------------------------------------------------
def craft_cabinet(files):
    data = b""
    entries = b""
    for name, content in files:
        entries += struct.pack("<IIHHHH", len(content), len(data), 0,
                               ((2020 - 1980) << 9) | (6 << 5) | 15, (10 << 11) | (20 << 5) | 15,
                               0x20)
        entries += name + b"\0"
        data += content
    header_size, folder_size = 36, 8
    data_at = header_size + folder_size + len(entries)
    cab = b"MSCF" + struct.pack("<IIIII", 0, data_at + 8 + len(data), 0, header_size + folder_size,
                                0)
    cab += b"\x03\x01" + struct.pack("<HHHHH", 1, len(files), 0, 0x1234, 0)
    cab += struct.pack("<IHH", data_at, 1, 0)
    cab += entries
    cab += struct.pack("<IHH", 0, len(data), len(data)) + data
    return cab


cabinets = [
    craft_cabinet([(b"t.txt", b"x")]),
    craft_cabinet([(b"..\\climb.txt", b"1"), (b"ok.txt", b"fine"), (b"/tmp/absolute.txt", b"2"),
                   (b"sub\\..\\..\\climb2.txt", b"3"), (b"link\\through.txt", b"4"),
                   (b"link\\deeper\\x.txt", b"5"), (b"sub\\..\\inside.txt", b"6")]),
    craft_cabinet([(b"file.txt", b"over a link to a file"), (b"old.txt", b"replaced")]),
    craft_cabinet([(b"a" * 300, b"long name"), (b"", b"no name"), (b"sub\\", b"a folder name")]),
    b"MSCF" + b"\0" * 40,
]
gcab = shutil.which("gcab")
if gcab:
    with tempfile.TemporaryDirectory() as work:
        os.makedirs(os.path.join(work, "sub"))
        with open(os.path.join(work, "sub", "a.txt"), "w") as f:
            f.write("from the cabinet")
        with open(os.path.join(work, "top.txt"), "w") as f:
            f.write("top\n" * 200)
        for args, name in ((["-c"], "stored.cab"), (["-cz"], "zipped.cab")):
            subprocess.run([gcab] + args + [name, "sub/a.txt", "top.txt"], cwd=work, check=True)
            with open(os.path.join(work, name), "rb") as f:
                cabinets.append(f.read())
else:
    print("gcab is missing: no archiver-made cabinet", file=sys.stderr)
write("cabinet", cabinets)
print("seeds written", file=sys.stderr)
