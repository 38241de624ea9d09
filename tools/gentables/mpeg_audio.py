#!/usr/bin/env python3
"""Generate the MPEG audio decoder's C++ tables from the checked table data.

Run from anywhere:  python3 tools/gentables/mpeg_audio.py [SHARED_DIR]
SHARED_DIR defaults to ../shared beside the repository. The data folder's own verify.py
runs first and must pass. Output: src/codecs/mp3/tables/MpegTables.{h,cpp} (committed; the
build never reads the data). The bit rates come from mpeg_audio_bitrates.csv beside this
script (see derive_mpeg_bitrates.py) and are cross-checked here.
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
SHARED = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(REPO), 'shared')
DATA = os.path.join(SHARED, 'tables', 'mpeg-audio')
OUT = os.path.join(REPO, 'src', 'codecs', 'mp3', 'tables')

RATES = [44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000]


def rows(path):
    with open(path) as f:
        return [l.strip().split(',') for l in f.read().splitlines()[1:] if l.strip()]


def data(name):
    return rows(os.path.join(DATA, name))


def fail(msg):
    raise SystemExit('mpeg_audio.py: ' + msg)


def c_list(values, per_line=12, fmt=str):
    values = [fmt(v) for v in values]
    lines = [', '.join(values[i:i + per_line]) for i in range(0, len(values), per_line)]
    return '\n    '.join(l + ',' for l in lines)


def c_double(v):
    return repr(float(v)) if not isinstance(v, str) else v


# ------------------------------------------------------------------ Huffman trees
def build_tree(codes):
    """codes: list of (codeword string, value). Returns the 2-bit tree as a list of
    4-entry nodes (see the header for the entry layout)."""
    trie = {}
    for cw, value in codes:
        node = trie
        for b in cw[:-1]:
            node = node.setdefault(b, {})
        node[cw[-1]] = ('leaf', value, len(cw))
    nodes = []

    def add(binary):
        index = len(nodes)
        nodes.append(None)
        entries = []
        for two in ('00', '01', '10', '11'):
            child = binary.get(two[0])
            if child is None:
                fail('incomplete Huffman code')
            if isinstance(child, tuple):
                entries.append(child[1] | (child[2] << 8) | (1 << 16))
                continue
            grand = child.get(two[1])
            if grand is None:
                fail('incomplete Huffman code')
            if isinstance(grand, tuple):
                entries.append(grand[1] | (grand[2] << 8) | (2 << 16))
            else:
                entries.append(('inner', grand))
        nodes[index] = entries
        for i, e in enumerate(entries):
            if isinstance(e, tuple):
                entries[i] = add(e[1])
        return index

    add(trie)
    if len(nodes) > 256:
        fail('tree too large for byte node indices')
    return nodes


def main():
    verify = os.path.join(DATA, 'verify.py')
    if subprocess.run([sys.executable, verify], cwd=DATA, stdout=subprocess.DEVNULL).returncode != 0:
        fail('verify.py of the table data failed')

    h = []
    c = []

    # Sampling rates, in the order of the band tables (version * 3 + sampling index).
    sfb_long = {int(r[0]): [int(v) for v in r[1:]] for r in data('l3_sfb_long.csv')}
    sfb_short = {int(r[0]): [int(v) for v in r[1:]] for r in data('l3_sfb_short.csv')}
    if [int(r[0]) for r in data('l3_sfb_long.csv')] != RATES:
        fail('unexpected rate order in l3_sfb_long.csv')
    h.append('// Sampling rates in Hz, indexed by version * 3 + sampling index\n'
             '// (44100, 48000, 32000 MPEG-1; then MPEG-2; then MPEG-2.5).\n'
             'extern const int kSampleRates[9];')
    c.append('const int kSampleRates[9] = {%s};' % ', '.join(str(r) for r in RATES))

    # Bit rates.
    br = {(int(r[0]), int(r[1])): [int(v) for v in r[2:]] for r in rows(os.path.join(HERE, 'mpeg_audio_bitrates.csv'))}
    sel = data('l2_table_select.csv')
    for r in sel:
        if int(r[2]) > 0 and br[(0, 2)][int(r[2]) - 1] * (1 if int(r[1]) == 1 else 1) != int(r[3]):
            fail('bit rates disagree with l2_table_select.csv at index %s' % r[2])
    h.append('// Bit rates in kbit/s: [0 MPEG-1, 1 MPEG-2 and 2.5][layer - 1][bit-rate index];\n'
             '// index 0 (free format) and 15 hold 0.\n'
             'extern const int kBitRatesKbps[2][3][16];')
    body = []
    for v in (0, 1):
        body.append('{' + ', '.join('{0, %s, 0}' % ', '.join(str(x) for x in br[(v, l)]) for l in (1, 2, 3)) + '}')
    c.append('const int kBitRatesKbps[2][3][16] = {\n    %s};' % ',\n    '.join(body))

    # Layer I/II scale factors.
    sf = data('l12_scalefactors.csv')
    if [int(r[0]) for r in sf] != list(range(63)):
        fail('scale factor indices')
    h.append('// Layer I/II scale factors 2^(1 - index/3), index 0..62.\nextern const double kL12ScaleFactors[63];')
    c.append('const double kL12ScaleFactors[63] = {\n    %s};' % c_list([r[1] for r in sf], 3))

    # Layer II allocation tables.
    entries = {}
    for r in data('l2_alloc_entries.csv'):
        entries.setdefault(r[0], []).append((int(r[1]), int(r[2]), int(r[3]), int(r[4])))
    limits = {}
    for r in data('l2_alloc_tables.csv'):
        limits[r[0]] = int(r[1])
    names = ['a', 'b', 'c', 'd', 'lsf']
    h.append('// Layer II allocation tables in walking form: per subband 2^width entries\n'
             '// {first, second}; entry 0 is {width, 0}; a grouped quantizer is {code bits, levels\n'
             '// 3|5|9}, any other {sample bits b, -(2^(b-1) - 1)}.\n'
             'struct L2AllocEntry {\n    int16_t first;\n    int16_t second;\n};\n'
             'struct L2AllocTable {\n    int subbandLimit;\n    const L2AllocEntry* entries;\n    int count;\n};\n'
             '// 0..3: Tables a..d of MPEG-1, 4: the MPEG-2 low-sampling-rate table.\n'
             'extern const L2AllocTable kL2AllocTables[5];')
    for n in names:
        es = sorted(entries[n])
        sbs = sorted(set(e[0] for e in es))
        if sbs != list(range(limits[n])):
            fail('subbands of table ' + n)
        for sb in sbs:
            own = [e for e in es if e[0] == sb]
            if len(own) != 1 << own[0][2] or [e[1] for e in own] != list(range(len(own))):
                fail('entries of table %s subband %d' % (n, sb))
        c.append('const L2AllocEntry kL2Alloc_%s[%d] = {\n    %s};' % (
            n, len(es), c_list(['{%d, %d}' % (e[2], e[3]) for e in es], 8)))
    c.append('const L2AllocTable kL2AllocTables[5] = {\n    %s};' % ',\n    '.join(
        '{%d, kL2Alloc_%s, %d}' % (limits[n], n, len(entries[n])) for n in names))

    # Layer II table choice for MPEG-1.
    choice = [[[0] * 16 for _ in range(2)] for _ in range(3)]
    seen = set()
    for r in sel:
        si, ch, bi, t = int(r[0]), int(r[1]), int(r[2]), int(r[4])
        choice[si][ch - 1][bi] = t
        seen.add((si, ch, bi))
    if len(seen) != 90:
        fail('table choice rows')
    h.append('// MPEG-1 Layer II allocation table (0..3 = a..d) by [sampling index][channels - 1]\n'
             '// [bit-rate index]; index 15 is never looked up for a valid header.\n'
             'extern const uint8_t kL2TableSelect[3][2][16];')
    c.append('const uint8_t kL2TableSelect[3][2][16] = {\n    %s};' % ',\n    '.join(
        '{' + ', '.join('{%s}' % ', '.join(str(x) for x in row) for row in choice[si]) + '}' for si in range(3)))

    # Synthesis window.
    d = data('synthesis_window_D.csv')
    if [int(r[0]) for r in d] != list(range(512)):
        fail('window indices')
    h.append('// Synthesis window D[i] x 65536 (exact integers), i = 0..511.\nextern const int32_t kSynthesisWindowD[512];')
    c.append('const int32_t kSynthesisWindowD[512] = {\n    %s};' % c_list([r[1] for r in d], 12))

    # Layer III band tables.
    h.append('// Layer III scale-factor band starts per rate (index as kSampleRates): long bands\n'
             '// 0..21 then 576; short bands 0..12 then 192 (lines of one window).\n'
             'extern const int16_t kSfbLong[9][23];\nextern const int16_t kSfbShort[9][14];')
    c.append('const int16_t kSfbLong[9][23] = {\n    %s};' % ',\n    '.join(
        '{%s}' % ', '.join(str(x) for x in sfb_long[r]) for r in RATES))
    c.append('const int16_t kSfbShort[9][14] = {\n    %s};' % ',\n    '.join(
        '{%s}' % ', '.join(str(x) for x in sfb_short[r]) for r in RATES))

    pre = data('l3_pretab.csv')
    h.append('// Layer III pretab, long bands 0..21.\nextern const uint8_t kPretab[22];')
    c.append('const uint8_t kPretab[22] = {%s};' % ', '.join(r[1] for r in pre))

    sl = data('l3_slen_mpeg1.csv')
    h.append('// MPEG-1 Layer III slen1, slen2 by scalefac_compress.\nextern const uint8_t kSlenMpeg1[16][2];')
    c.append('const uint8_t kSlenMpeg1[16][2] = {%s};' % ', '.join('{%s, %s}' % (r[1], r[2]) for r in sl))

    nr = {(int(r[0]), int(r[1])): r[2:] for r in data('l3_lsf_nr_of_sfb_block.csv')}
    h.append('// MPEG-2/2.5 Layer III nr_of_sfb_block[table index][0 long, 1 short, 2 mixed][part].\n'
             'extern const uint8_t kLsfNrOfSfb[6][3][4];')
    c.append('const uint8_t kLsfNrOfSfb[6][3][4] = {\n    %s};' % ',\n    '.join(
        '{' + ', '.join('{%s}' % ', '.join(nr[(t, b)]) for b in range(3)) + '}' for t in range(6)))

    ls = data('l3_lsf_slen.csv')
    normal = [r for r in ls if r[0] == '0']
    inten = [r for r in ls if r[0] == '1']
    if [int(r[1]) for r in normal] != list(range(512)) or [int(r[1]) for r in inten] != list(range(256)):
        fail('LSF slen indices')
    h.append('// MPEG-2/2.5 Layer III scalefac_compress expansion: table index (row of\n'
             '// kLsfNrOfSfb), slen1..4, preflag. kLsfSlenNormal by scalefac_compress (0..511);\n'
             '// kLsfSlenIntensity, right channel of an intensity frame, by scalefac_compress >> 1.\n'
             'struct LsfSlen {\n    uint8_t tableIndex;\n    uint8_t slen[4];\n    uint8_t preflag;\n};\n'
             'extern const LsfSlen kLsfSlenNormal[512];\nextern const LsfSlen kLsfSlenIntensity[256];')
    for name, rs in (('kLsfSlenNormal', normal), ('kLsfSlenIntensity', inten)):
        c.append('const LsfSlen %s[%d] = {\n    %s};' % (name, len(rs), c_list(
            ['{%s, {%s}, %s}' % (r[2], ', '.join(r[3:7]), r[7]) for r in rs], 6)))

    al = data('l3_alias_reduction.csv')
    h.append('// Layer III alias-reduction butterfly coefficients cs_i and ca_i, i = 0..7.\n'
             'extern const double kAliasCs[8];\nextern const double kAliasCa[8];')
    c.append('const double kAliasCs[8] = {\n    %s};' % c_list([r[2] for r in al], 2))
    c.append('const double kAliasCa[8] = {\n    %s};' % c_list([r[3] for r in al], 2))

    # Huffman.
    directory = data('l3_huffman_directory.csv')
    bv = {}
    for r in data('l3_huffman_bigvalues.csv'):
        bv.setdefault(int(r[0]), []).append((int(r[1]), int(r[2]), int(r[3]), r[4]))
    c1 = {}
    for r in data('l3_huffman_count1.csv'):
        c1.setdefault(r[0], []).append((int(r[1]), int(r[2]), int(r[3]), int(r[4]), int(r[5]), r[6]))
    h.append('''// Layer III Huffman codes. Code lists: {value, length, code bits right-aligned};
// a pair's value is x * 16 + y, a quadruple's the four bits v w x y (v highest).
struct HuffCode {
    uint8_t value;
    uint8_t length;
    uint32_t code;
};
// Decoding trees read two bits per step: 4 entries per node, indexed by the next two
// bits. Inner entry: bits 0-7 the next node's index, bits 8-15 zero. Leaf entry: bits
// 0-7 the value, bits 8-15 the code's whole length, bits 16-23 the bits of this step
// that belong to the code (1 or 2; when 1, give the second bit back). Root is node 0.
struct HuffTable {
    int linbits;
    int xySize;                 // values 0..xySize-1 per coordinate; 0: no code, all zero
    const HuffCode* codes;      // null for tables 0, 4, 14
    int codeCount;
    const uint32_t* tree;       // null for tables 0, 4, 14
    int treeNodes;
};
// Big-value tables by table_select 0..31, then 32 (count1 table A) and 33 (table B).
extern const HuffTable kHuffTables[34];''')
    tree_names = {}
    for t in sorted(bv):
        codes = bv[t]
        cl = [(x * 16 + y, ln, int(cw, 2)) for x, y, ln, cw in codes]
        tree = build_tree([(cw, x * 16 + y) for x, y, ln, cw in codes])
        c.append('const HuffCode kHuffCodes%d[%d] = {\n    %s};' % (t, len(cl), c_list(
            ['{%d, %d, 0x%x}' % e for e in cl], 6)))
        flat = [e for node in tree for e in node]
        c.append('const uint32_t kHuffTree%d[%d] = {\n    %s};' % (t, len(flat), c_list(
            ['0x%06x' % e for e in flat], 8)))
        tree_names[t] = (len(cl), len(tree))
    for name in ('A', 'B'):
        codes = c1[name]
        cl = [((v << 3) | (w << 2) | (x << 1) | y, ln, int(cw, 2)) for v, w, x, y, ln, cw in codes]
        tree = build_tree([(cw, (v << 3) | (w << 2) | (x << 1) | y) for v, w, x, y, ln, cw in codes])
        c.append('const HuffCode kHuffCodes%s[%d] = {\n    %s};' % (name, len(cl), c_list(
            ['{%d, %d, 0x%x}' % e for e in cl], 6)))
        flat = [e for node in tree for e in node]
        c.append('const uint32_t kHuffTree%s[%d] = {\n    %s};' % (name, len(flat), c_list(
            ['0x%06x' % e for e in flat], 8)))
        tree_names[name] = (len(cl), len(tree))
    ents = []
    for r in directory:
        ct, size, lin = int(r[1]), int(r[2]), int(r[3])
        if ct < 0:
            ents.append('{0, 0, nullptr, 0, nullptr, 0}')
        else:
            n, nodes = tree_names[ct]
            ents.append('{%d, %d, kHuffCodes%d, %d, kHuffTree%d, %d}' % (lin, size, ct, n, ct, nodes))
    for name in ('A', 'B'):
        n, nodes = tree_names[name]
        ents.append('{0, 2, kHuffCodes%s, %d, kHuffTree%s, %d}' % (name, n, name, nodes))
    c.append('const HuffTable kHuffTables[34] = {\n    %s};' % ',\n    '.join(ents))

    banner = '// Generated by tools/gentables/mpeg_audio.py from the checked MPEG audio table data.\n// Do not edit.\n'
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, 'MpegTables.h'), 'w') as f:
        f.write(banner + '#pragma once\n\n#include <cstdint>\n\nnamespace mp3::tables {\n\n')
        f.write('\n\n'.join(h))
        f.write('\n\n}  // namespace mp3::tables\n')
    with open(os.path.join(OUT, 'MpegTables.cpp'), 'w') as f:
        f.write(banner + '#include "codecs/mp3/tables/MpegTables.h"\n\nnamespace mp3::tables {\n\n')
        # The code and tree arrays are file-local; only the directory is visible.
        body = '\n\n'.join(c)
        body = body.replace('const HuffCode kHuffCodes', 'static const HuffCode kHuffCodes')
        body = body.replace('const uint32_t kHuffTree', 'static const uint32_t kHuffTree')
        body = body.replace('const L2AllocEntry kL2Alloc_', 'static const L2AllocEntry kL2Alloc_')
        f.write(body)
        f.write('\n\n}  // namespace mp3::tables\n')
    print('wrote', OUT)


if __name__ == '__main__':
    main()
