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
        <translation>Rewrites the bytes of a file from a patch list</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>列表和备份保存在程序所在的文件夹中 (便携使用)</source>
        <translation>The list and the backups are kept in the program&apos;s folder (portable use)</translation>
    </message>
    <message>
        <source>列表和备份保存在用户的文件夹中</source>
        <translation>The list and the backups are kept in your user folders</translation>
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
        <translation>Name:</translation>
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
</context>
</TS>
