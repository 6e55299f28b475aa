<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>关于 Bytemender</source>
        <translation>About Bytemender</translation>
    </message>
    <message>
        <source>Bytemender 1.0 版</source>
        <translation>Bytemender version 1.0</translation>
    </message>
    <message>
        <source>按修补列表改写文件中的字节</source>
        <translation>Patches file bytes from a list</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>列表和备份保存在程序所在的文件夹中 (便携使用)</source>
        <translation>List and backups: beside the program (portable)</translation>
    </message>
    <message>
        <source>列表和备份保存在用户的文件夹中</source>
        <translation>List and backups: in your user folders</translation>
    </message>
    <message>
        <source>设置文件:</source>
        <translation>Settings:</translation>
    </message>
    <message>
        <source>备份文件夹:</source>
        <translation>Backups:</translation>
    </message>
</context>
<context>
    <name>CBytemenderDlg</name>
    <message>
        <source>更多</source>
        <translation>More</translation>
    </message>
    <message>
        <source>关于 Bytemender(&amp;A)...</source>
        <translation>&amp;About Bytemender...</translation>
    </message>
    <message>
        <source>有效/无效</source>
        <translation>On/Off</translation>
    </message>
    <message>
        <source>全无效</source>
        <translation>Disable All</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>编辑</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>增加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>列表不会保存: 无法读取设置文件 %1</source>
        <translation>The list is not saved: the settings file %1 could not be read</translation>
    </message>
    <message>
        <source>列表已保存到 %1 (%2 个项目)</source>
        <translation>List saved to %1 (%2 items)</translation>
    </message>
    <message>
        <source>已重建目标文件 %1 (应用了 %2 个有效项目)</source>
        <translation>Target rebuilt: %1 (%2 enabled items applied)</translation>
    </message>
    <message>
        <source>目标文件: %1, 备份已保存到 %2</source>
        <translation>Target: %1, backup copy saved as %2</translation>
    </message>
    <message>
        <source>有效项目: %1 / %2 (尚未写入设置文件)</source>
        <translation>Enabled items: %1 of %2 (not yet in the settings file)</translation>
    </message>
    <message>
        <source>重新定位(&amp;R)...</source>
        <translation>&amp;Relocate...</translation>
    </message>
    <message>
        <source>列表已被另一个程序更改, 已重新读取</source>
        <translation>list changed by another program, read again</translation>
    </message>
    <message>
        <source>无法读取备份文件 %1</source>
        <translation>backup copy %1 cannot be read</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>每个项目的原始数据都在它的偏移处, 没有要重新定位的项目.</source>
        <translation>Every item&apos;s old data is at its offset; there is nothing to relocate.</translation>
    </message>
    <message>
        <source>重新定位</source>
        <translation>Relocate</translation>
    </message>
    <message>
        <source>已取消, 所有文件保持原样</source>
        <translation>Cancelled; every file is as it was</translation>
    </message>
    <message>
        <source>正在重建目标文件...</source>
        <translation>Rebuilding the target file...</translation>
    </message>
    <message>
        <source>正在复制目标文件到备份文件夹...</source>
        <translation>Copying the target file into the backup folder...</translation>
    </message>
</context>
<context>
    <name>CItemEditDlg</name>
    <message>
        <source>修改条目</source>
        <translation>Edit Item</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>文件偏移:</source>
        <translation>Offset:</translation>
    </message>
    <message>
        <source>描述信息:</source>
        <translation>Description:</translation>
    </message>
    <message>
        <source>原始数据:</source>
        <translation>Old:</translation>
    </message>
    <message>
        <source>修改数据:</source>
        <translation>New:</translation>
    </message>
    <message>
        <source>搜索数据</source>
        <translation>Find Data</translation>
    </message>
    <message>
        <source>修改项目</source>
        <translation>Edit Item</translation>
    </message>
    <message>
        <source>增加项目</source>
        <translation>Add Item</translation>
    </message>
    <message>
        <source>特征码:</source>
        <translation>Signature:</translation>
    </message>
    <message>
        <source>保存列表时由备份文件生成</source>
        <translation>made from the backup when the list is saved</translation>
    </message>
    <message>
        <source>特征码中项目之前有 %1 个字节</source>
        <translation>%1 bytes of the signature come before the item</translation>
    </message>
    <message>
        <source>数据太长: %1 有 %2 个字符, 最多 %3 个 (%4 字节的数据).</source>
        <translation>Data too long: %1 has %2 characters, at most %3 (%4 bytes of data).</translation>
    </message>
    <message>
        <source>原始数据</source>
        <translation>old data</translation>
    </message>
    <message>
        <source>修改数据</source>
        <translation>new data</translation>
    </message>
    <message>
        <source>描述信息太长: %1 字节, 最多 %2 字节.</source>
        <translation>Description too long: %1 bytes, at most %2 bytes.</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>正在搜索备份文件...</source>
        <translation>Searching the backup file...</translation>
    </message>
</context>
<context>
    <name>CRelocateDlg</name>
    <message>
        <source>重新定位</source>
        <translation>Relocate</translation>
    </message>
    <message>
        <source>描述</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>偏移</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>移动</source>
        <translation>moves</translation>
    </message>
    <message>
        <source>%1 个项目将移动到它们的特征码所在的位置, %2 个无法重新定位. 确认之前不会改变任何东西.</source>
        <translation>%1 item(s) will move to where their signatures are, %2 cannot be relocated. Nothing changes until you confirm.</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>没找到特征码</source>
        <translation>signature not found</translation>
    </message>
    <message>
        <source>特征码出现了 %1 次</source>
        <translation>signature found %1 times</translation>
    </message>
    <message>
        <source>没有特征码</source>
        <translation>no signature</translation>
    </message>
    <message>
        <source>目标文件已更新: %1 个项目将移动到它们在新版本中的位置, %2 个无法重新定位. 确认后才会移动它们, 重新备份并重建目标文件.</source>
        <translation>The target was updated: %1 items will move to their places in the new version, %2 cannot be relocated. Only once you confirm are they moved, the new backup taken and the target rebuilt.</translation>
    </message>
    <message>
        <source>目标文件已更新: %1 个项目可以移动, 但 %2 个无法重新定位, 新的备份文件无法重建它们. 取消: 不做任何改变 (推荐). 仍然替换: 移动能移动的项目并重新备份, 其余项目留在原处.</source>
        <translation>The target was updated: %1 items can move, but %2 cannot be relocated, and the new backup cannot rebuild them. Cancel: change nothing (recommended). Replace anyway: move the items that can move and take the new backup; the others stay where they are.</translation>
    </message>
    <message>
        <source>仍然替换</source>
        <translation>Replace anyway</translation>
    </message>
    <message>
        <source>重新定位并重新备份</source>
        <translation>Relocate and back up again</translation>
    </message>
</context>
<context>
    <name>DlgUtil</name>
    <message>
        <source>选择文件</source>
        <translation>Choose a File</translation>
    </message>
</context>
<context>
    <name>ExchangeCommands</name>
    <message>
        <source>导入(&amp;I)...</source>
        <translation>&amp;Import...</translation>
    </message>
    <message>
        <source>导出(&amp;E)...</source>
        <translation>&amp;Export...</translation>
    </message>
    <message>
        <source>比较文件(&amp;D)...</source>
        <translation>Compare &amp;Files...</translation>
    </message>
    <message>
        <source>已从 %2 导入 %1 个项目</source>
        <translation>Imported %1 items from %2</translation>
    </message>
    <message>
        <source>已导出 %1 个项目到 %2</source>
        <translation>Exported %1 items to %2</translation>
    </message>
    <message>
        <source>比较 %2 与 %3: 增加了 %1 个项目</source>
        <translation>Compared %2 with %3: %1 items added</translation>
    </message>
    <message>
        <source>正在导入补丁文件...</source>
        <translation>Importing the patch file...</translation>
    </message>
    <message>
        <source>正在导出补丁文件...</source>
        <translation>Exporting the patch file...</translation>
    </message>
    <message>
        <source>正在比较文件...</source>
        <translation>Comparing the files...</translation>
    </message>
</context>
<context>
    <name>ExchangePrompts</name>
    <message>
        <source>IPS 补丁 (*.ips)</source>
        <translation>IPS patch (*.ips)</translation>
    </message>
    <message>
        <source>IPS32 补丁 (*.ips)</source>
        <translation>IPS32 patch (*.ips)</translation>
    </message>
    <message>
        <source>IDA 差异文件 (*.dif)</source>
        <translation>IDA difference file (*.dif)</translation>
    </message>
    <message>
        <source>x64dbg 补丁 (*.1337)</source>
        <translation>x64dbg patch (*.1337)</translation>
    </message>
    <message>
        <source>haxdiff 补丁 (*.haxdiff)</source>
        <translation>haxdiff patch (*.haxdiff)</translation>
    </message>
    <message>
        <source>导入补丁文件</source>
        <translation>Import Patch File</translation>
    </message>
    <message>
        <source>比较文件: 选择原始文件</source>
        <translation>Compare Files: Choose the Original File</translation>
    </message>
    <message>
        <source>比较文件: 选择修改后的文件</source>
        <translation>Compare Files: Choose the Patched File</translation>
    </message>
    <message>
        <source>补丁文件 (*.ips *.dif *.1337 *.haxdiff)</source>
        <translation>Patch files (*.ips *.dif *.1337 *.haxdiff)</translation>
    </message>
    <message>
        <source>所有文件 (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>导出补丁</source>
        <translation>Export Patch</translation>
    </message>
    <message>
        <source> 两个文件的长度不同: 
%1: %2 字节
%3: %4 字节

补丁项目不能改变文件的长度. 只比较两个文件都有的前 %5 字节吗? </source>
        <translation> The two files have different lengths: 
%1: %2 bytes
%3: %4 bytes

Patch items cannot change a file&apos;s length. Compare only the first %5 bytes, which both files have? </translation>
    </message>
    <message>
        <source>比较文件</source>
        <translation>Compare Files</translation>
    </message>
    <message>
        <source>只比较共同部分</source>
        <translation>Compare the Common Part</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>LongStep</name>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>正在取消...</source>
        <translation>Cancelling...</translation>
    </message>
</context>
<context>
    <name>PatchExchange</name>
    <message>
        <source>%1: 无法打开 (%2)</source>
        <translation>%1: cannot be opened (%2)</translation>
    </message>
    <message>
        <source>%1: 不是普通文件</source>
        <translation>%1: not a regular file</translation>
    </message>
    <message>
        <source>%1: 文件比之前短了</source>
        <translation>%1: shorter than before</translation>
    </message>
    <message>
        <source>两个文件的差异超过 %1 MiB: 变化太多, 无法作为修补列表</source>
        <translation>the files differ in more than %1 MiB: too many changes for a patch list</translation>
    </message>
    <message>
        <source>两个文件的长度不同 (%1: %2 字节, %3: %4 字节); 项目无法改变文件的大小 (只比较共同的长度, 即可比较两个文件都有的字节)</source>
        <translation>the files have different lengths (%1: %2 bytes, %3: %4 bytes); items cannot change a file&apos;s size (compare the common length only to diff the bytes both have)</translation>
    </message>
    <message>
        <source>文件大于 4 GiB: 项目的偏移只有 32 位</source>
        <translation>the files are larger than 4 GiB: item offsets are 32-bit</translation>
    </message>
    <message>
        <source>十六进制数字的个数为奇数: 有一个数字单独出现</source>
        <translation>odd number of hex digits: a digit stands alone</translation>
    </message>
    <message>
        <source>每个字节必须是一对十六进制数字</source>
        <translation>bytes must be pairs of hex digits</translation>
    </message>
    <message>
        <source>该差异块把 %1 字节替换为 %2 字节; 项目无法改变文件的大小</source>
        <translation>the hunk replaces %1 bytes by %2; items cannot change a file&apos;s size</translation>
    </message>
    <message>
        <source>该差异块声明了 %1 个新字节, 但其 &quot;+ &quot; 行中有 %2 个</source>
        <translation>the hunk announces %1 new bytes but its &quot;+ &quot; lines hold %2</translation>
    </message>
    <message>
        <source>该差异块声明了 %1 个原始字节, 但其 &quot;- &quot; 行中有 %2 个</source>
        <translation>the hunk announces %1 old bytes but its &quot;- &quot; lines hold %2</translation>
    </message>
    <message>
        <source>该差异块大于 4 GiB</source>
        <translation>the hunk is larger than 4 GiB</translation>
    </message>
    <message>
        <source>应为十六进制的差异块头 &quot;@@ OFFSET,-N,+M&quot;</source>
        <translation>expected a hunk header &quot;@@ OFFSET,-N,+M&quot; in hex</translation>
    </message>
    <message>
        <source>不是 IDA 差异文件: 第一行不是以 &quot;This difference file&quot; 开头</source>
        <translation>not an IDA difference file: the first line does not start with &quot;This difference file&quot;</translation>
    </message>
    <message>
        <source>应为 &quot;OFFSET: OLD NEW&quot;, 偏移为最多 16 位的十六进制数</source>
        <translation>expected &quot;OFFSET: OLD NEW&quot; with a hex offset of up to 16 digits</translation>
    </message>
    <message>
        <source>应为 &quot;OFFSET: OLD NEW&quot;, 每个字节为两位十六进制数</source>
        <translation>expected &quot;OFFSET: OLD NEW&quot; with two hex digits per byte</translation>
    </message>
    <message>
        <source>不是 %1 文件: 开头不是 &quot;%2&quot;</source>
        <translation>not an %1 file: it does not start with &quot;%2&quot;</translation>
    </message>
    <message>
        <source>文件在结束标记 &quot;%1&quot; 之前就结束了</source>
        <translation>ends without the end marker &quot;%1&quot;</translation>
    </message>
    <message>
        <source>文件不完整: 在记录的偏移和长度中间结束</source>
        <translation>truncated: the file ends inside the record&apos;s offset and size</translation>
    </message>
    <message>
        <source>文件不完整: 在重复字节的次数和值中间结束</source>
        <translation>truncated: the file ends inside the run&apos;s count and value</translation>
    </message>
    <message>
        <source>文件不完整: 声明了 %1 个数据字节, 实际只有 %2 个</source>
        <translation>truncated: %1 data bytes announced, %2 present</translation>
    </message>
    <message>
        <source>补丁在 &quot;EOF&quot; 之后把文件长度设为 %1 字节 (备份文件有 %2 字节); 项目无法改变文件的大小</source>
        <translation>after &quot;EOF&quot; the patch sets the file&apos;s length to %1 bytes (the backup has %2); items cannot change a file&apos;s size</translation>
    </message>
    <message>
        <source>结束标记 &quot;%1&quot; 之后有 %2 个多余的字节</source>
        <translation>%2 unexpected bytes after the end marker &quot;%1&quot;</translation>
    </message>
    <message>
        <source>偏移 %1 超出了 %2 的范围 (记录最多从 %3 开始)</source>
        <translation>offset %1 is beyond the reach of %2 (records start at most at %3)</translation>
    </message>
    <message>
        <source>偏移 %1 超出了 %2 的范围 (记录最多从 %3 开始; IPS32 可达 4 GiB)</source>
        <translation>offset %1 is beyond the reach of %2 (records start at most at %3; IPS32 reaches 4 GiB)</translation>
    </message>
    <message>
        <source>第 %1 条记录 (位于字节 %2)</source>
        <translation>record %1 at byte %2</translation>
    </message>
    <message>
        <source>第 %1 行</source>
        <translation>line %1</translation>
    </message>
    <message>
        <source>偏移 %1 + %2 字节超出了备份文件的末尾 (%3 字节)</source>
        <translation>offset %1 + %2 bytes reaches past the end of the backup (%3 bytes)</translation>
    </message>
    <message>
        <source>偏移 %1 处的原始数据在补丁中是 %2, 在备份文件中却是 %3</source>
        <translation>the old byte at offset %1 is %2 in the patch but %3 in the backup</translation>
    </message>
    <message>
        <source>项目 %1 &quot;%2&quot; (偏移 %3)</source>
        <translation>item %1 &quot;%2&quot; at %3</translation>
    </message>
    <message>
        <source>%1: 无法读取备份文件</source>
        <translation>%1: the backup cannot be read</translation>
    </message>
    <message>
        <source>%1: 超出了备份文件的末尾 (%2 字节)</source>
        <translation>%1: reaches past the end of the backup (%2 bytes)</translation>
    </message>
    <message>
        <source>%1: 原始数据与备份文件不匹配, 位于 %2 (项目中是 %3, 备份文件中是 %4)</source>
        <translation>%1: the old data does not match the backup at %2 (%3 in the item, %4 in the backup)</translation>
    </message>
    <message>
        <source>%1 与 %2 重叠</source>
        <translation>%1 overlaps %2</translation>
    </message>
    <message>
        <source>%1: 无法读取</source>
        <translation>%1: cannot be read</translation>
    </message>
    <message>
        <source>%1: 不是已知格式的补丁文件 (IPS, IPS32, IDA .dif, x64dbg .1337, haxdiff)</source>
        <translation>%1: not a patch file of a known format (IPS, IPS32, IDA .dif, x64dbg .1337, haxdiff)</translation>
    </message>
    <message>
        <source>%1: 无法写入 (文件夹不存在, 磁盘已满或其他错误)</source>
        <translation>%1: it cannot be written (missing folder, full disk or another failure)</translation>
    </message>
    <message>
        <source>%1: 该文件不允许写入</source>
        <translation>%1: the file may not be written</translation>
    </message>
    <message>
        <source>%1: 该文件夹不允许创建新文件</source>
        <translation>%1: the folder takes no new file</translation>
    </message>
    <message>
        <source>不是 x64dbg 补丁文件: 第一行不是以 &quot;&gt;&quot; 开头</source>
        <translation>not an x64dbg patch file: the first line does not start with &quot;&gt;&quot;</translation>
    </message>
    <message>
        <source>应为 &quot;RVA:OLD-&gt;NEW&quot;, 每个字节为两位十六进制数</source>
        <translation>expected &quot;RVA:OLD-&gt;NEW&quot; with two hex digits per byte</translation>
    </message>
    <message>
        <source>备份文件不是 PE 文件, 因此无法在其中找到 RVA %1</source>
        <translation>the backup is not a PE file, so the RVA %1 cannot be placed in it</translation>
    </message>
    <message>
        <source>RVA %1 不在备份文件的文件头或任何节的数据之内</source>
        <translation>the RVA %1 lies outside the headers and every section&apos;s data of the backup</translation>
    </message>
    <message>
        <source>备份文件不是 PE 文件: x64dbg 格式按字节在载入后的映像中的地址定位, 这需要文件的节表</source>
        <translation>the backup is not a PE file: the x64dbg format places bytes by their address in the loaded image, which needs its section table</translation>
    </message>
    <message>
        <source>偏移 %1 不在备份文件的文件头或任何节的数据之内, 因此在载入后的映像中没有地址</source>
        <translation>offset %1 lies outside the headers and every section&apos;s data of the backup, so it has no address in the loaded image</translation>
    </message>
    <message>
        <source>%1: 偏移 %2 + %3 字节超出了备份文件 %4 的末尾 (%5 字节): 原始文件不是目标文件的备份</source>
        <translation>%1: offset %2 + %3 bytes runs past the end of the backup file %4 (%5 bytes): the original file is not the target&apos;s backup</translation>
    </message>
    <message>
        <source>%1: 偏移 %2 处的字节是 %3, 在备份文件 %4 中却是 %5: 原始文件不是目标文件的备份</source>
        <translation>%1: the byte at offset %2 is %3, but %5 in the backup file %4: the original file is not the target&apos;s backup</translation>
    </message>
    <message>
        <source>%1: 补丁文件大于 %2 MiB, 未读取</source>
        <translation>%1: the patch file is larger than %2 MiB; it was not read</translation>
    </message>
    <message>
        <source>%1: 该文件正被另一个程序使用</source>
        <translation>%1: the file is in use by another program</translation>
    </message>
</context>
<context>
    <name>PatchExchangeJobs</name>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source> 请先选择目标文件: 补丁按它的备份文件导入和导出! </source>
        <translation> Choose the target file first: patches are imported and exported against its backup! </translation>
    </message>
    <message>
        <source> 无法导入补丁文件! </source>
        <translation> Cannot import the patch file! </translation>
    </message>
    <message>
        <source> 无法导出补丁文件! </source>
        <translation> Cannot export the patch file! </translation>
    </message>
    <message>
        <source> 无法比较文件! </source>
        <translation> Cannot compare the files! </translation>
    </message>
    <message>
        <source>列表未改变.</source>
        <translation>The list is unchanged.</translation>
    </message>
    <message>
        <source> 没有有效的项目可导出, 未写入任何文件! </source>
        <translation> There are no enabled items to export; nothing was written! </translation>
    </message>
    <message>
        <source> 列表为空, 未写入任何文件! </source>
        <translation> The list is empty; nothing was written! </translation>
    </message>
    <message>
        <source> 不能导出到目标文件, 备份文件或设置文件, 未写入任何文件! </source>
        <translation> An export cannot replace the target, its backup or the settings file; nothing was written! </translation>
    </message>
    <message>
        <source> 补丁文件中没有任何修改, 列表未改变. </source>
        <translation> The patch file holds no changes; the list is unchanged. </translation>
    </message>
    <message>
        <source> 两个文件的内容相同, 列表未改变. </source>
        <translation> The two files are the same; the list is unchanged. </translation>
    </message>
    <message>
        <source> 两个文件的共同部分相同, 列表未改变. </source>
        <translation> The common part of the two files is the same; the list is unchanged. </translation>
    </message>
    <message>
        <source> 已导入 %1 个项目; 跳过了列表中已有的 %2 个相同项目. </source>
        <translation> Imported %1 items; skipped %2 identical items already in the list. </translation>
    </message>
    <message>
        <source> 补丁文件中的 %2 个项目都已在列表中, 列表未改变. </source>
        <translation> All %2 items of the patch file are already in the list; the list is unchanged. </translation>
    </message>
</context>
<context>
    <name>PatchListModel</name>
    <message>
        <source>偏移</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>描述</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>原数据</source>
        <translation>Old Data</translation>
    </message>
    <message>
        <source>新数据</source>
        <translation>New Data</translation>
    </message>
    <message>
        <source>修改</source>
        <translation>Enabled</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>已应用</source>
        <translation>Applied</translation>
    </message>
    <message>
        <source>目标文件在此处是新数据。</source>
        <translation>The target file holds the new data here.</translation>
    </message>
    <message>
        <source>原样</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>目标文件在此处是原数据。</source>
        <translation>The target file holds the old data here.</translation>
    </message>
    <message>
        <source>不同</source>
        <translation>Different</translation>
    </message>
    <message>
        <source>目标文件在此处既不是原数据，也不是新数据。</source>
        <translation>The target file holds neither the old nor the new data here.</translation>
    </message>
    <message>
        <source>超出范围</source>
        <translation>Out of range</translation>
    </message>
    <message>
        <source>项目超出了备份文件或目标文件的末尾。</source>
        <translation>The item reaches past the end of the backup or the target file.</translation>
    </message>
    <message>
        <source>备份不符</source>
        <translation>Backup differs</translation>
    </message>
    <message>
        <source>备份文件在此处不是原数据：保存会失败。</source>
        <translation>The backup does not hold the old data here: saving will fail.</translation>
    </message>
    <message>
        <source>未知</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source>没有可读的目标文件或备份文件。</source>
        <translation>There is no readable target file or backup.</translation>
    </message>
    <message>
        <source> · 重叠</source>
        <translation> · overlap</translation>
    </message>
    <message>
        <source>此项目有效，但目标文件中没有应用。</source>
        <translation>This item is enabled, but the target file does not have it applied.</translation>
    </message>
    <message>
        <source>此项目无效，但目标文件中已经应用。</source>
        <translation>This item is disabled, but the target file has it applied.</translation>
    </message>
    <message>
        <source>与前面的有效项目写入相同的字节，保存时以本项目为准。</source>
        <translation>Writes bytes that an earlier enabled item writes too; saving keeps this item&apos;s bytes.</translation>
    </message>
    <message>
        <source>目标:</source>
        <translation>Target:</translation>
    </message>
    <message>
        <source>备份:</source>
        <translation>Backup:</translation>
    </message>
    <message>
        <source>(无)</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>被前项覆盖</source>
        <translation>Overwritten</translation>
    </message>
    <message>
        <source>备份文件在此处是原数据，但前面的有效项目先写入了这些字节：保存会失败。</source>
        <translation>The backup holds the old data here, but an earlier enabled item writes over these bytes first: saving will fail.</translation>
    </message>
    <message>
        <source> · 可重新定位</source>
        <translation> · relocatable</translation>
    </message>
    <message>
        <source>&quot;重新定位...&quot; 会把它移到 %1, 它的特征码所在的位置.</source>
        <translation>&quot;Relocate...&quot; would move it to %1, where its signature is.</translation>
    </message>
</context>
<context>
    <name>PatchSession</name>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source> 选择的文件路径过长, 无法使用! </source>
        <translation> The path of the selected file is too long to use! </translation>
    </message>
    <message>
        <source> 备份文件路径过长, 无法备份选择的文件! </source>
        <translation> The backup path is too long: cannot back up the selected file! </translation>
    </message>
    <message>
        <source> 无法备份选择的文件! </source>
        <translation> Cannot back up the selected file! </translation>
    </message>
    <message>
        <source> 无法将列表写入设置文件</source>
        <translation> Cannot write the list to the settings file</translation>
    </message>
    <message>
        <source> 设置文件无法读取, 列表不会写入该文件</source>
        <translation> The settings file could not be read, so the list is not written to it</translation>
    </message>
    <message>
        <source>, 未重建目标文件! </source>
        <translation>, and the target file was not rebuilt! </translation>
    </message>
    <message>
        <source> 无法读取设置文件中的列表! 在该文件可以读取并重新启动本程序之前, 列表不会被保存. </source>
        <translation> Cannot read the list in the settings file! The list will not be saved until the file can be read and the program is restarted. </translation>
    </message>
    <message>
        <source> 列表正被另一个程序使用 (%1), 等待 %2 秒后仍未释放; 未做任何改变. </source>
        <translation> The list is in use by another program (%1) and was not released within %2 seconds; nothing was changed. </translation>
    </message>
    <message>
        <source>未知的程序</source>
        <translation>unknown program</translation>
    </message>
    <message>
        <source> 该项目已被另一个程序修改或删除; 列表已重新读取, 未做任何改变. </source>
        <translation> This item was changed or removed by another program; the list was read again and nothing was changed. </translation>
    </message>
    <message>
        <source> 选择的文件就是本程序上次重建的结果, 保留原来的备份文件. </source>
        <translation> The chosen file is what this program last rebuilt; the backup copy is kept as it is. </translation>
    </message>
    <message>
        <source> 选择的文件在以下项目处是修改后的数据, 已在备份文件中换回原始数据: </source>
        <translation> The chosen file holds the new data of these items; their old data was put back in the backup copy: </translation>
    </message>
    <message>
        <source> 新的备份文件无法重建以下有效项目, 保留原来的备份文件: </source>
        <translation> The list cannot be rebuilt from the new backup copy at these enabled items; the old backup copy is kept: </translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>该文件大于 %1 MiB, 不会是设置文件.</source>
        <translation>The file is larger than %1 MiB; it cannot be a settings file.</translation>
    </message>
    <message>
        <source>该文件含有 NUL 字节, 不是设置文件 (是程序或其他二进制文件?).</source>
        <translation>The file holds NUL bytes; it is not a settings file (a program or another binary file?).</translation>
    </message>
    <message>
        <source>%1 的一行长于 %2 字节, 读回时会被截断, 因此未写入设置文件.</source>
        <translation>The line of %1 is longer than %2 bytes and would be cut when read back, so the settings file was not written.</translation>
    </message>
    <message>
        <source> 选择的文件在备份文件夹中, 不能作为目标文件! </source>
        <translation> The chosen file is in the backup folder and cannot be the target! </translation>
    </message>
    <message>
        <source> 备份文件夹不允许新建文件, 在原处写入备份文件时失败: 备份文件只写入了一部分, 请重新选择目标文件! </source>
        <translation> The backup folder takes no new file, and writing the backup copy in place failed: the backup was only partly written; please choose the target again! </translation>
    </message>
    <message>
        <source> 设置文件已损坏, 列表不会写入该文件</source>
        <translation> The settings file is damaged; the list is not written to it</translation>
    </message>
    <message>
        <source> 设置文件的文件夹不允许新建文件, 在原处写入列表时失败: 该文件只写入了一部分</source>
        <translation> The settings file&apos;s folder takes no new file, and writing the list in place failed: the file was only partly written</translation>
    </message>
    <message>
        <source> 设置文件已损坏: %1. 已读取其中完好的 %2 个项目. 在您选择保留恢复的列表之前, 本程序不会写入该文件. </source>
        <translation> The settings file is damaged: %1. The %2 items it still holds intact were read. This program does not write to the file until you choose to keep the recovered list. </translation>
    </message>
    <message>
        <source>零字节之后还有文本</source>
        <translation>text follows a zero byte</translation>
    </message>
    <message>
        <source>有项目但没有项目数</source>
        <translation>it holds items but no item count</translation>
    </message>
    <message>
        <source>项目数为 %1, 但存有 %2 个项目 (编号直到 %3)</source>
        <translation>the item count is %1, but %2 items are stored (numbered up to %3)</translation>
    </message>
    <message>
        <source> 选择的文件有 %1 字节, 本程序只能修补小于 4 GiB (%2 字节) 的文件; 未复制该文件! </source>
        <translation> The chosen file has %1 bytes; this program patches only files smaller than 4 GiB (%2 bytes). The file was not copied! </translation>
    </message>
    <message>
        <source> 无法备份选择的文件: 该文件或备份文件正被另一个程序使用! </source>
        <translation> Cannot back up the selected file: it or its backup copy is in use by another program! </translation>
    </message>
    <message>
        <source>该文件正被另一个程序使用.</source>
        <translation>The file is in use by another program.</translation>
    </message>
</context>
<context>
    <name>Rebuild</name>
    <message>
        <source> 无法访问选择的文件! </source>
        <translation> Cannot access the selected file! </translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source> 无法写入输出文件! </source>
        <translation> Cannot write the output file! </translation>
    </message>
    <message>
        <source>文件范围超出!</source>
        <translation>Beyond the end of the file!</translation>
    </message>
    <message>
        <source>原始数据不匹配!</source>
        <translation>The old data does not match!</translation>
    </message>
    <message>
        <source> 无法写入输出文件: 该文件正被另一个程序使用! </source>
        <translation> Cannot write the output file: it is in use by another program! </translation>
    </message>
</context>
<context>
    <name>Search</name>
    <message>
        <source>文件读取失败</source>
        <translation>Could not read the file</translation>
    </message>
    <message>
        <source>没找到</source>
        <translation>Not found</translation>
    </message>
    <message>
        <source>多个: </source>
        <translation>Several: </translation>
    </message>
    <message>
        <source>搜索数据至少要有一个确定的字节</source>
        <translation>the search needs at least one fixed byte</translation>
    </message>
</context>
<context>
    <name>UserPrompts</name>
    <message>
        <source>重新备份</source>
        <translation>Back Up Again</translation>
    </message>
    <message>
        <source>覆盖</source>
        <translation>Overwrite</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source> 目标文件在备份或上次重建之后已被更改 (例如程序已更新): 
%1

重新备份: 以现在的目标文件作为新的备份, 再从它重建. 
覆盖: 仍从旧的备份重建, 目标文件的这些更改将丢失. 
取消: 不写入任何文件. </source>
        <translation> The target file has changed since the backup or the last rebuild (for example, the program was updated): 
%1

Back Up Again: make the target file as it is now the new backup, then rebuild from it. 
Overwrite: rebuild from the old backup anyway; these changes to the target file are lost. 
Cancel: write no file. </translation>
    </message>
    <message>
        <source>目标文件已更改</source>
        <translation>Target File Changed</translation>
    </message>
    <message>
        <source>备份文件</source>
        <translation>backup copy</translation>
    </message>
    <message>
        <source>

仍然替换: 用它替换原来的备份文件, 这些项目将无法应用. 
保留: 原来的备份文件不变 (推荐). </source>
        <translation>

Replace Anyway: the file replaces the old backup copy; these items will not apply. 
Keep: the old backup copy stays (recommended). </translation>
    </message>
    <message>
        <source>仍然替换</source>
        <translation>Replace Anyway</translation>
    </message>
    <message>
        <source>保留</source>
        <translation>Keep</translation>
    </message>
    <message>
        <source>设置文件已损坏</source>
        <translation>Settings file damaged</translation>
    </message>
    <message>
        <source>保留恢复的列表</source>
        <translation>Keep the recovered list</translation>
    </message>
    <message>
        <source>不写入该文件</source>
        <translation>Leave the file alone</translation>
    </message>
</context>
<context>
    <name>bytemender-cli</name>
    <message>
        <source>警告: 第 %2 行的%1 (&quot;%3&quot;) 中没有成对的十六进制数字, 它不代表任何字节</source>
        <translation>warning: the %1 of row %2 (&quot;%3&quot;) holds no pair of hex digits; it stands for no bytes</translation>
    </message>
    <message>
        <source>警告: 第 %2 行的%1 (&quot;%3&quot;) 中有一个单独的十六进制数字, 它会被忽略</source>
        <translation>warning: the %1 of row %2 (&quot;%3&quot;) has a hex digit without a partner; it is ignored</translation>
    </message>
    <message>
        <source>%1 超过了 %2 字节</source>
        <translation>%1 is longer than %2 bytes</translation>
    </message>
    <message>
        <source>第 %1 行不存在: 列表为空</source>
        <translation>row %1 does not exist: the list is empty</translation>
    </message>
    <message>
        <source>第 %1 行不存在: 列表只有第 1 到 %2 行</source>
        <translation>row %1 does not exist: the list has rows 1 to %2</translation>
    </message>
    <message>
        <source>备份文件</source>
        <translation>backup copy</translation>
    </message>
    <message>
        <source>目标文件</source>
        <translation>target</translation>
    </message>
    <message>
        <source>目标文件: </source>
        <translation>Target: </translation>
    </message>
    <message>
        <source>(未选择)</source>
        <translation>(none chosen)</translation>
    </message>
    <message>
        <source>,重叠</source>
        <translation>,overlapping</translation>
    </message>
    <message>
        <source>行</source>
        <translation>ROW</translation>
    </message>
    <message>
        <source>偏移</source>
        <translation>OFFSET</translation>
    </message>
    <message>
        <source>有效</source>
        <translation>ENABLED</translation>
    </message>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>STATE</translation>
    </message>
    <message>
        <source>目标文件中</source>
        <translation>TARGET HOLDS</translation>
    </message>
    <message>
        <source>描述</source>
        <translation>DESCRIPTION</translation>
    </message>
    <message>
        <source>原数据</source>
        <translation>OLD</translation>
    </message>
    <message>
        <source>新数据</source>
        <translation>NEW</translation>
    </message>
    <message>
        <source>列表为空.</source>
        <translation>The list is empty.</translation>
    </message>
    <message>
        <source>全部 %1 个项目都与列表一致.</source>
        <translation>All %1 items are as listed.</translation>
    </message>
    <message>
        <source>%2 个项目中有 %1 个与列表不一致 (有效的项目应为已应用, 无效的应为原样).</source>
        <translation>%1 of %2 items are not as listed (enabled items should be applied, disabled ones original).</translation>
    </message>
    <message>
        <source>apply --rebackup 会先从它重新备份.</source>
        <translation>apply --rebackup would first take a new backup copy from it.</translation>
    </message>
    <message>
        <source>apply --overwrite 仍会由原来的备份文件重建它.</source>
        <translation>apply --overwrite would rebuild it from the old backup copy anyway.</translation>
    </message>
    <message>
        <source>没有 --rebackup 或 --overwrite 时 apply 不会写入它.</source>
        <translation>apply would refuse to write it without --rebackup or --overwrite.</translation>
    </message>
    <message>
        <source>目标文件 %1 在备份或上次重建之后被修改过: %2</source>
        <translation>Target %1 was changed since its backup copy was taken or it was last rebuilt: %2</translation>
    </message>
    <message>
        <source>无法读取备份文件 %1</source>
        <translation>backup copy %1 cannot be read</translation>
    </message>
    <message>
        <source>第 %1 行, 偏移 %2:</source>
        <translation>row %1 at offset %2:</translation>
    </message>
    <message>
        <source>无法读取目标文件 %1</source>
        <translation>target %1 cannot be read</translation>
    </message>
    <message>
        <source>目标文件 %1 不存在: 将由备份文件生成.</source>
        <translation>Target %1 does not exist: it would be made from the backup copy.</translation>
    </message>
    <message>
        <source>长度 %1</source>
        <translation>length %1</translation>
    </message>
    <message>
        <source>... 另有 %1 处</source>
        <translation>... and %1 more ranges</translation>
    </message>
    <message>
        <source>目标文件的长度将从 %1 字节变为 %2 字节.</source>
        <translation>The target would change its length from %1 to %2 bytes.</translation>
    </message>
    <message>
        <source>没有任何改变.</source>
        <translation>Nothing would change.</translation>
    </message>
    <message>
        <source>将有 %2 处共 %1 字节改变, 未写入任何文件.</source>
        <translation>%1 bytes in %2 ranges would change; nothing was written.</translation>
    </message>
    <message>
        <source>--offset %1 不是十六进制偏移</source>
        <translation>--offset %1 is not a hex offset</translation>
    </message>
    <message>
        <source>项目需要 --old 和 --new 两种数据</source>
        <translation>an item needs both --old and --new data</translation>
    </message>
    <message>
        <source>原始数据</source>
        <translation>old data</translation>
    </message>
    <message>
        <source>修改数据</source>
        <translation>new data</translation>
    </message>
    <message>
        <source>已增加为第 %1 行.</source>
        <translation>Added as row %1.</translation>
    </message>
    <message>
        <source>没有要修改的内容: 请给出 --offset, --old, --new 或 --description</source>
        <translation>nothing to change: give --offset, --old, --new or --description</translation>
    </message>
    <message>
        <source>第 %1 行将没有原数据或新数据, 项目需要两者</source>
        <translation>row %1 would have no old or no new data; an item needs both</translation>
    </message>
    <message>
        <source>已修改第 %1 行.</source>
        <translation>Changed row %1.</translation>
    </message>
    <message>
        <source>已复制第 %1 行: 副本是第 %1 行, 被复制的项目现在是第 %2 行.</source>
        <translation>Copied row %1: the copy is row %1, the item copied is now row %2.</translation>
    </message>
    <message>
        <source>已删除第 %1 行.</source>
        <translation>Removed row %1.</translation>
    </message>
    <message>
        <source>请给出要设为有效的行</source>
        <translation>name the rows to enable</translation>
    </message>
    <message>
        <source>请给出要设为无效的行, 或者 --all</source>
        <translation>name the rows to disable, or give --all</translation>
    </message>
    <message>
        <source>%1 个项目设为有效, %2 个原本已有效.</source>
        <translation>%1 items enabled, %2 were already enabled.</translation>
    </message>
    <message>
        <source>%1 个项目设为无效, %2 个原本已无效.</source>
        <translation>%1 items disabled, %2 were already disabled.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; 中没有可搜索的成对十六进制数字</source>
        <translation>&quot;%1&quot; holds no pair of hex digits to search for</translation>
    </message>
    <message>
        <source>&quot;%1&quot; 中有一个单独的十六进制数字</source>
        <translation>&quot;%1&quot; has a hex digit without a partner</translation>
    </message>
    <message>
        <source>%1 的备份文件路径过长</source>
        <translation>the backup path for %1 would be too long</translation>
    </message>
    <message>
        <source>目标文件: %1
备份文件: %2</source>
        <translation>Target: %1
Backup copy: %2</translation>
    </message>
    <message>
        <source>已从目标文件的当前内容重新备份到 %1.</source>
        <translation>Took a new backup copy %1 from the target as it was.</translation>
    </message>
    <message>
        <source>已由备份文件重建 %1, 应用了 %2 个有效项目.</source>
        <translation>Rebuilt %1 from its backup copy with %2 enabled items.</translation>
    </message>
    <message>
        <source>按修补列表改写目标文件中的字节, 与 Bytemender 窗口相同: 同一个设置文件, 备份文件夹和重建方式.</source>
        <translation>Patches bytes of a target file from a patch list, as the Bytemender window does: the same settings file, backup folder and rebuild.</translation>
    </message>
    <message>
        <source>显示本帮助并退出</source>
        <translation>Print this help and exit</translation>
    </message>
    <message>
        <source>显示版本并退出</source>
        <translation>Print the version and exit</translation>
    </message>
    <message>
        <source>保存列表的设置文件, 备份文件在它旁边的 Path_bak 中. 默认为窗口所用的: 程序旁边的 bytemender.ini (当它已经存在, 或者程序所在的文件夹可以写入且不是系统文件夹 /usr, /opt ... 时); 否则为 $XDG_CONFIG_HOME/bytemender/bytemender.ini, 备份文件在 $XDG_DATA_HOME/bytemender/Path_bak 中.</source>
        <translation>The settings file holding the list, with the backup copies in Path_bak beside it. Default: the window&apos;s, bytemender.ini beside the program when it is there already or the program&apos;s folder is writable and not a system folder (/usr, /opt ...); else $XDG_CONFIG_HOME/bytemender/bytemender.ini, with the backup copies in $XDG_DATA_HOME/bytemender/Path_bak.</translation>
    </message>
    <message>
        <source>行号从 1 开始, 按 &quot;list&quot; 显示的顺序 (按偏移).
退出状态: 0 完成; 1 检查未通过 (apply 中项目的检查, 目标文件被他人修改, status 发现与列表不一致的项目, 或者 import/export 检查的补丁或项目与备份文件不符); 2 用法或输入错误 (包括格式错误的补丁文件); 3 无法读取或写入文件 (未做任何改变).
用 &quot;bytemender-cli 命令 --help&quot; 查看命令的选项.</source>
        <translation>Rows are numbered from 1 in the order &quot;list&quot; shows (by offset).
Exit status: 0 done; 1 a check failed (an item&apos;s check in apply, a target changed by someone else, status found an item not as listed, or a patch or an item that import or export checks does not fit the backup copy); 2 usage or input error (a malformed patch file too); 3 a file could not be read or written (nothing was changed).
Run &quot;bytemender-cli COMMAND --help&quot; for the options of a command.</translation>
    </message>
    <message>
        <source>显示项目: 行, 偏移, 有效, 状态, 描述, 原数据和新数据. 状态前的 &apos;!&apos; 表示目标文件与该项目不符.</source>
        <translation>Show the items: row, offset, enabled, state, description, old and new data. A &apos;!&apos; before the state marks an item the target disagrees with.</translation>
    </message>
    <message>
        <source>输出 JSON, 供脚本使用</source>
        <translation>Write JSON for scripts</translation>
    </message>
    <message>
        <source>显示每个项目在备份文件和目标文件中的状态 (applied 已应用, original 原样, differs 不同, out-of-range 超出范围, backup-mismatch 备份不符; overlapping 重叠). 所有有效项目都已应用且所有无效项目都是原样时退出状态为 0, 否则为 1.</source>
        <translation>Show each item&apos;s state in the backup and the target (applied, original, differs, out-of-range, backup-mismatch; overlapping). Exit status 0 when every enabled item is applied and every disabled one original, else 1.</translation>
    </message>
    <message>
        <source>保存列表, 并由备份文件重建目标文件, 应用每个有效项目, 与窗口的 &quot;保存&quot; 相同. 先检查每个项目, 有一个不通过就不写入任何文件. 目标文件在此之后被他人修改过时 (退出状态 1), 只有给出 --rebackup 或 --overwrite 才会写入.</source>
        <translation>Save the list and rebuild the target from its backup copy with every enabled item, as the window&apos;s &quot;Save&quot; does. Each item is checked first; when one fails nothing is written. A target that someone else changed since (exit status 1) is written only with --rebackup or --overwrite.</translation>
    </message>
    <message>
        <source>显示目标文件中将改变的每一处及其原字节和新字节, 不写入任何文件</source>
        <translation>Print each range of the target that would change, with its old and new bytes, and write nothing</translation>
    </message>
    <message>
        <source>目标文件在备份或上次重建之后被修改过时 (程序更新), 从它重新备份, 再由新的备份重建</source>
        <translation>When the target was changed since its backup copy was taken or it was last rebuilt (an update of the program), take a new backup copy from it and rebuild from that</translation>
    </message>
    <message>
        <source>目标文件在备份或上次重建之后被修改过时, 仍由原来的备份文件重建</source>
        <translation>When the target was changed since its backup copy was taken or it was last rebuilt, rebuild it from the old backup copy anyway</translation>
    </message>
    <message>
        <source>选择目标文件, 与窗口的 &quot;文件&quot; 相同: 它的备份放入 Path_bak, 列表记下它的路径.</source>
        <translation>Choose the target file, as the window&apos;s &quot;File&quot; does: a backup copy of it goes into Path_bak and the list names it.</translation>
    </message>
    <message>
        <source>要修补的文件</source>
        <translation>The file to patch</translation>
    </message>
    <message>
        <source>&quot;%1&quot; 不是十六进制偏移 (十六进制数字, 可带 0x, 最大 FFFFFFFF)</source>
        <translation>&quot;%1&quot; is not a hex offset (hex digits, optional 0x, at most FFFFFFFF)</translation>
    </message>
    <message>
        <source>增加一个项目 (除非给出 --enable, 否则为无效); 列表保持偏移顺序. 保存列表.</source>
        <translation>Add an item (disabled unless --enable); the list stays in offset order. Saves the list.</translation>
    </message>
    <message>
        <source>目标文件中的偏移, 十六进制 (可带 0x)</source>
        <translation>Offset in the target, hex (optional 0x)</translation>
    </message>
    <message>
        <source>该处应有的字节, 十六进制文本</source>
        <translation>The bytes expected there, as hex text</translation>
    </message>
    <message>
        <source>要写入该处的字节, 十六进制文本</source>
        <translation>The bytes to put there, as hex text</translation>
    </message>
    <message>
        <source>项目修改的内容</source>
        <translation>What the item changes</translation>
    </message>
    <message>
        <source>增加为有效的项目</source>
        <translation>Add the item enabled</translation>
    </message>
    <message>
        <source>修改第 N 个项目的字段; 在列表重新读取之前项目保持所在的行. 保存列表.</source>
        <translation>Change fields of item N; the item keeps its row until the list is read again. Saves the list.</translation>
    </message>
    <message>
        <source>行号</source>
        <translation>Row number</translation>
    </message>
    <message>
        <source>新的偏移, 十六进制 (可带 0x)</source>
        <translation>New offset, hex (optional 0x)</translation>
    </message>
    <message>
        <source>新的应有字节, 十六进制文本</source>
        <translation>New expected bytes, as hex text</translation>
    </message>
    <message>
        <source>新的要写入的字节, 十六进制文本</source>
        <translation>New bytes to put there, as hex text</translation>
    </message>
    <message>
        <source>新的描述</source>
        <translation>New description</translation>
    </message>
    <message>
        <source>复制第 N 个项目; 副本直接放在它的上面. 保存列表.</source>
        <translation>Copy item N; the copy goes directly above it. Saves the list.</translation>
    </message>
    <message>
        <source>删除第 N 个项目. 保存列表.</source>
        <translation>Remove item N. Saves the list.</translation>
    </message>
    <message>
        <source>将项目设为有效并保存列表 (窗口的按钮只在内存中修改, 这里不保存就会丢失). 目标文件在下次 apply 时改变.</source>
        <translation>Enable items and save the list (unlike the window&apos;s button, which keeps the change in memory: here it would be lost otherwise). The target changes with the next apply.</translation>
    </message>
    <message>
        <source>行号 (一个或多个)</source>
        <translation>Row numbers</translation>
    </message>
    <message>
        <source>将项目或全部项目设为无效并保存列表 (这里不保存的修改会丢失). 目标文件在下次 apply 时改变.</source>
        <translation>Disable items, or all of them, and save the list (here a change that is not saved would be lost). The target changes with the next apply.</translation>
    </message>
    <message>
        <source>将所有项目设为无效</source>
        <translation>Disable every item</translation>
    </message>
    <message>
        <source>要查找的字节, 十六进制文本</source>
        <translation>The bytes to find, as hex text</translation>
    </message>
    <message>
        <source>用 &quot;bytemender-cli --help&quot; 查看更多信息.</source>
        <translation>Run &quot;bytemender-cli --help&quot; for more information.</translation>
    </message>
    <message>
        <source>内存不足</source>
        <translation>not enough memory</translation>
    </message>
    <message>
        <source>补丁文件</source>
        <translation>patch file</translation>
    </message>
    <message>
        <source>未导入任何项目, 列表未改变.</source>
        <translation>Nothing was imported; the list is unchanged.</translation>
    </message>
    <message>
        <source>补丁文件中没有任何修改, 列表未改变.</source>
        <translation>The patch file holds no changes; the list is unchanged.</translation>
    </message>
    <message>
        <source>已从 %2 (%3) 导入 %1 个项目, 设为有效, 按偏移排序.</source>
        <translation>Imported %1 items from %2 (%3), enabled, in offset order.</translation>
    </message>
    <message>
        <source>%1 的扩展名不对应任何补丁格式, 请给出 --format ips, ips32, dif, 1337 或 haxdiff</source>
        <translation>the extension of %1 names no patch format; give --format ips, ips32, dif, 1337 or haxdiff</translation>
    </message>
    <message>
        <source>列表为空, 没有可导出的项目</source>
        <translation>the list is empty: nothing to export</translation>
    </message>
    <message>
        <source>没有有效的项目可导出 (--all 导出所有项目)</source>
        <translation>no item is enabled: nothing to export (--all exports every item)</translation>
    </message>
    <message>
        <source>%1 是目标文件, 备份文件或设置文件, 导出不会替换它</source>
        <translation>%1 is the target, its backup copy or the settings file; an export does not replace it</translation>
    </message>
    <message>
        <source>未写入 %1.</source>
        <translation>Nothing was written to %1.</translation>
    </message>
    <message>
        <source>已导出 %1 个项目到 %2 (%3).</source>
        <translation>Exported %1 items to %2 (%3).</translation>
    </message>
    <message>
        <source>原始文件</source>
        <translation>original file</translation>
    </message>
    <message>
        <source>修改后的文件</source>
        <translation>patched file</translation>
    </message>
    <message>
        <source>%1 有 %2 字节而 %3 有 %4 字节; 项目无法改变文件的大小 (--common-length 只比较前 %5 字节)</source>
        <translation>%1 has %2 bytes and %3 has %4 bytes; items cannot change a file&apos;s length (--common-length compares the first %5 bytes)</translation>
    </message>
    <message>
        <source>未增加任何项目, 列表未改变.</source>
        <translation>Nothing was added; the list is unchanged.</translation>
    </message>
    <message>
        <source>两个文件的共同部分相同, 列表未改变.</source>
        <translation>The files are equal in their common length; the list is unchanged.</translation>
    </message>
    <message>
        <source>两个文件的内容相同, 列表未改变.</source>
        <translation>The files are equal; the list is unchanged.</translation>
    </message>
    <message>
        <source>已为不同的字节增加 %1 个项目, 设为有效, 按偏移排序.</source>
        <translation>Added %1 items for the bytes that differ, enabled, in offset order.</translation>
    </message>
    <message>
        <source>将补丁文件 (IPS, IPS32, IDA .dif, x64dbg .1337 或 haxdiff, 按内容或扩展名识别) 中的修改增加为有效项目, 按偏移排序, 并与备份文件核对; 保存列表. 有任何问题都不增加.</source>
        <translation>Add the changes of a patch file (IPS, IPS32, IDA .dif, x64dbg .1337 or haxdiff, recognised by its contents or extension) as enabled items in offset order, checked against the backup copy; saves the list. Any problem adds nothing.</translation>
    </message>
    <message>
        <source>要导入的补丁文件</source>
        <translation>The patch file</translation>
    </message>
    <message>
        <source>将有效项目 (或全部项目) 写成补丁文件, 并与备份文件核对; 有项目与备份文件不符时不写入任何文件.</source>
        <translation>Write the enabled items (or all) as a patch file, checked against the backup copy; nothing is written when an item does not fit it.</translation>
    </message>
    <message>
        <source>要写入的补丁文件 (整个替换)</source>
        <translation>The patch file to write (replaced whole)</translation>
    </message>
    <message>
        <source>ips, ips32, dif, 1337 或 haxdiff (默认: 按 FILE 的扩展名)</source>
        <translation>ips, ips32, dif, 1337 or haxdiff (default: from the extension of FILE)</translation>
    </message>
    <message>
        <source>&quot;%1&quot; 不是补丁格式: ips, ips32, dif, 1337 或 haxdiff</source>
        <translation>&quot;%1&quot; is no format: ips, ips32, dif, 1337 or haxdiff</translation>
    </message>
    <message>
        <source>导出所有项目, 不只是有效的</source>
        <translation>Export every item, not only the enabled ones</translation>
    </message>
    <message>
        <source>两个文件中每一段不同的字节增加一个有效项目 (相隔少于 8 个相同字节的段合为一个项目), 按偏移排序; 保存列表.</source>
        <translation>Add one enabled item per run of bytes that differ between two files (runs fewer than 8 equal bytes apart make one item), in offset order; saves the list.</translation>
    </message>
    <message>
        <source>修改前的文件</source>
        <translation>The file as it was</translation>
    </message>
    <message>
        <source>修改后应有的文件</source>
        <translation>The file as it should become</translation>
    </message>
    <message>
        <source>比较长度不同的文件时只比较到较短文件的末尾</source>
        <translation>Compare files of different lengths as far as the shorter one goes</translation>
    </message>
    <message>
        <source>%1 %2 无法读取: %3</source>
        <translation>%1 %2 cannot be read: %3</translation>
    </message>
    <message>
        <source>%1 %2 不是普通文件</source>
        <translation>%1 %2 is not a regular file</translation>
    </message>
    <message>
        <source>找不到程序所在的文件夹, 请用 --settings 指定设置文件</source>
        <translation>the program&apos;s folder cannot be found; name the settings file with --settings</translation>
    </message>
    <message>
        <source>设置文件 %1 不存在 (请先选择目标文件, 或用 --settings 指定其他文件)</source>
        <translation>settings file %1 does not exist (choose a target first, or name another file with --settings)</translation>
    </message>
    <message>
        <source>设置文件</source>
        <translation>settings file</translation>
    </message>
    <message>
        <source>无法读取设置文件 %1</source>
        <translation>settings file %1 cannot be read</translation>
    </message>
    <message>
        <source>无法将列表写入设置文件 %1, 该文件未改变</source>
        <translation>the list could not be written to the settings file %1; it is unchanged</translation>
    </message>
    <message>
        <source>目标文件路径 %1 过长 (最多 %2 字节)</source>
        <translation>target path %1 is too long (at most %2 bytes)</translation>
    </message>
    <message>
        <source>目标文件 %1 就是备份文件本身</source>
        <translation>target %1 is the backup copy itself</translation>
    </message>
    <message>
        <source>%1 在 %2 中的备份文件路径过长</source>
        <translation>the backup path for %1 in %2 would be too long</translation>
    </message>
    <message>
        <source>无法将列表写入设置文件 %1, 它仍记着之前的目标文件</source>
        <translation>the list could not be written to the settings file %1; it still names the previous target</translation>
    </message>
    <message>
        <source>无法在 %2 中备份 %1</source>
        <translation>the backup copy of %1 could not be made in %2</translation>
    </message>
    <message>
        <source>%1 中的列表没有目标文件, 请用 &quot;bytemender-cli target FILE&quot; 选择</source>
        <translation>the list in %1 has no target; choose one with &quot;bytemender-cli target FILE&quot;</translation>
    </message>
    <message>
        <source>备份文件 %1 是空的</source>
        <translation>backup copy %1 is empty</translation>
    </message>
    <message>
        <source>目标文件 %1 不是普通文件</source>
        <translation>target %1 is not a regular file</translation>
    </message>
    <message>
        <source>目标文件 %1 已重建, 但无法将记录写入设置文件 %2</source>
        <translation>target %1 was rebuilt, but the record of it could not be written to the settings file %2</translation>
    </message>
    <message>
        <source>无法将列表写入设置文件 %1, 未重建目标文件</source>
        <translation>the list could not be written to the settings file %1; the target was not rebuilt</translation>
    </message>
    <message>
        <source>目标文件 %1 在备份或上次重建之后被修改过 (程序更新了吗?); 未写入任何文件.
用 &quot;bytemender-cli apply --rebackup&quot; 从目标文件的当前内容重新备份并由它重建, 或者用 &quot;bytemender-cli apply --overwrite&quot; 仍由原来的备份文件 %2 重建.</source>
        <translation>target %1 was changed since its backup copy was taken or it was last rebuilt (was the program updated?); nothing was written.
Run &quot;bytemender-cli apply --rebackup&quot; to take a new backup copy from the target as it is now and rebuild from that, or &quot;bytemender-cli apply --overwrite&quot; to rebuild from the old backup copy %2 anyway.</translation>
    </message>
    <message>
        <source>无法用目标文件 %2 的副本替换备份文件 %1, 未重建目标文件</source>
        <translation>backup copy %1 could not be replaced by a copy of target %2; the target was not rebuilt</translation>
    </message>
    <message>
        <source>无法写入目标文件 %1</source>
        <translation>target %1 could not be written</translation>
    </message>
    <message>
        <source>%1 有 %2 个字符, 超过了 %3 个字符 (最多 %4 字节的数据)</source>
        <translation>%1 has %2 characters, more than %3 characters (at most %4 bytes of data)</translation>
    </message>
    <message>
        <source>&quot;%1&quot; 中至少要有一个确定的字节</source>
        <translation>&quot;%1&quot; needs at least one fixed byte</translation>
    </message>
    <message>
        <source>列表正被另一个程序使用时最多等待的秒数 (默认 10); 之后退出, 状态为 3, 不做任何改变</source>
        <translation>Seconds to wait while another program uses the list (default 10); then exit with status 3, changing nothing</translation>
    </message>
    <message>
        <source>与 --rebackup 一起: 即使列表中的有效项目无法由新的备份重建, 仍然替换备份文件</source>
        <translation>With --rebackup: replace the backup copy even when the enabled items cannot be rebuilt from the new one</translation>
    </message>
    <message>
        <source>即使列表中的有效项目无法由它重建, 仍然替换已有的备份文件</source>
        <translation>Replace an existing backup copy even when the enabled items cannot be rebuilt from this file</translation>
    </message>
    <message>
        <source>把原数据不在其偏移处的项目移到备份文件中它们的特征码所在的位置 (在程序更新之后), 保存列表, 并显示每个移动和每个无法重新定位的项目. 所有项目都与备份文件相符时退出状态为 0, 有项目无法重新定位时为 1 (已移动的项目仍会保存).</source>
        <translation>Move the items whose old data is not at their offset to where their signatures are in the backup file (after the program was updated), save the list, and show each move and each item that cannot be relocated. Exit status 0 when every item matches the backup file, 1 when some cannot be relocated (the moved ones are saved all the same).</translation>
    </message>
    <message>
        <source>只显示会移动什么, 不改变任何文件</source>
        <translation>only show what would move; change no file</translation>
    </message>
    <message>
        <source>需要一个命令: list, status, apply, target, add, edit, copy, remove, enable, disable, search, relocate, import, export 或 diff</source>
        <translation>A command is needed: list, status, apply, target, add, edit, copy, remove, enable, disable, search, relocate, import, export or diff</translation>
    </message>
    <message>
        <source>--settings 需要一个文件名, 不能为空</source>
        <translation>--settings needs a file name; it cannot be empty</translation>
    </message>
    <message>
        <source>跳过了 %1 个列表中已有的相同项目.</source>
        <translation>Skipped %1 identical items already in the list.</translation>
    </message>
    <message>
        <source>列表未改变.</source>
        <translation>The list is unchanged.</translation>
    </message>
    <message>
        <source>在备份文件中没找到它的特征码</source>
        <translation>its signature is not in the backup file</translation>
    </message>
    <message>
        <source>它的特征码在备份文件中出现了 %1 次</source>
        <translation>its signature occurs %1 times in the backup file</translation>
    </message>
    <message>
        <source>它没有特征码</source>
        <translation>it has no signature</translation>
    </message>
    <message>
        <source>第 %1 行 %2 -&gt; %3: %4</source>
        <translation>row %1 %2 -&gt; %3: %4</translation>
    </message>
    <message>
        <source>第 %1 行 %2 无法重新定位, %3: %4</source>
        <translation>row %1 %2 cannot be relocated, %3: %4</translation>
    </message>
    <message>
        <source>将移动 %1 个项目, %2 个无法重新定位 (未做任何改变).</source>
        <translation>%1 item(s) would move, %2 cannot be relocated (nothing changed).</translation>
    </message>
    <message>
        <source>移动了 %1 个项目, %2 个无法重新定位.</source>
        <translation>Moved %1 item(s), %2 cannot be relocated.</translation>
    </message>
    <message>
        <source>设置文件 %1 所在的文件夹 %2 不存在</source>
        <translation>The folder %2 of the settings file %1 does not exist</translation>
    </message>
    <message>
        <source>用 &quot;bytemender-cli target --force FILE&quot; 仍然替换备份文件.</source>
        <translation>Run &quot;bytemender-cli target --force FILE&quot; to replace the backup copy anyway.</translation>
    </message>
    <message>
        <source>用 &quot;bytemender-cli apply --rebackup --force&quot; 仍然替换备份文件.</source>
        <translation>Run &quot;bytemender-cli apply --rebackup --force&quot; to replace the backup copy anyway.</translation>
    </message>
    <message>
        <source>... 共找到 %1 处, 只列出了前 %2 处.</source>
        <translation>... %1 found; only the first %2 are listed.</translation>
    </message>
    <message>
        <source>设置文件已损坏时, 保留从中恢复的列表: 保存时替换该文件 (否则不会写入损坏的文件)</source>
        <translation>When the settings file is damaged, keep the list recovered from it: saving replaces the file (otherwise a damaged file is never written)</translation>
    </message>
    <message>
        <source>显示这些字节在备份文件中的每个偏移, 每行一个 (匹配不重叠); 最多列出 100000 个, 然后给出找到的总数. ?? 代表任意字节, ?A 和 B? 代表只确定一半的字节.</source>
        <translation>Show every offset of these bytes in the backup, one per line (matches do not overlap); at most 100000 are listed, then the number found. ?? stands for any byte, ?A and B? for a byte of which only one half is fixed.</translation>
    </message>
    <message>
        <source>--keep-recovered: 恢复的列表将写入该文件.</source>
        <translation>--keep-recovered: the recovered list will be written to the file.</translation>
    </message>
    <message>
        <source>用 --keep-recovered 以恢复的列表替换该文件.</source>
        <translation>Use --keep-recovered to replace the file with the recovered list.</translation>
    </message>
    <message>
        <source>无法将列表写入设置文件 %1: 它的文件夹不允许新建文件, 在原处写入时失败, 该文件只写入了一部分</source>
        <translation>Cannot write the list to the settings file %1: its folder takes no new file, and writing it in place failed; the file was only partly written</translation>
    </message>
    <message>
        <source>目标文件 %1 在备份文件夹中</source>
        <translation>The target file %1 is in the backup folder</translation>
    </message>
    <message>
        <source>该文件正被另一个程序使用</source>
        <translation>the file is in use by another program</translation>
    </message>
    <message>
        <source>以上项目无法在新的备份文件中重新定位, 未做任何改变.</source>
        <translation>The items above cannot be relocated in the new backup; nothing was changed.</translation>
    </message>
</context>
</TS>
