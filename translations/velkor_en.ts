<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Words</name>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 毫秒</source>
        <translation>%1 ms</translation>
    </message>
    <message>
        <source>运行超过 %1仍未结束，已被终止</source>
        <translation>ran for more than %1 without ending and was killed</translation>
    </message>
    <message>
        <source>被信号 %1（%2）终止</source>
        <translation>was killed by signal %1 (%2)</translation>
    </message>
    <message>
        <source>无法运行（退出码 127：缺少它需要的库或解释器）</source>
        <translation>could not run (exit code 127: a library or interpreter it needs is missing)</translation>
    </message>
    <message>
        <source>以退出码 %1 结束</source>
        <translation>ended with exit code %1</translation>
    </message>
    <message>
        <source>结束时没有写出判定文件 ini.ini</source>
        <translation>ended without writing its verdict file ini.ini</translation>
    </message>
    <message>
        <source>无法写入临时文件 %1（%2）</source>
        <translation>Cannot write the scratch file %1 (%2)</translation>
    </message>
    <message>
        <source>%1 位于正在恢复的驱动器 %2: 上，保存到那里会覆盖尚未恢复的照片。请选择其他驱动器上的目录。</source>
        <translation>%1 lies on drive %2:, which is being recovered; saving there can overwrite photos not yet recovered. Please choose a folder on another drive.</translation>
    </message>
    <message>
        <source>不能保存到这里</source>
        <translation>Cannot save here</translation>
    </message>
    <message>
        <source>无法读取驱动器（%1）</source>
        <translation>cannot read the drive (%1)</translation>
    </message>
    <message>
        <source>照片所在的扇区已超出驱动器的末尾</source>
        <translation>the photo&apos;s sectors now lie beyond the end of the drive</translation>
    </message>
    <message>
        <source>照片的扇区全都无法读取（%1）</source>
        <translation>none of the photo&apos;s sectors can be read (%1)</translation>
    </message>
    <message>
        <source>无法把文件写入磁盘（%1）</source>
        <translation>cannot get the files onto the disk (%1)</translation>
    </message>
    <message>
        <source>
%1 张照片的文件名已被目录里的其他文件占用，已改用新名字保存（如 %2），原有文件保持不变。</source>
        <translation>
%1 photos were saved under new names (such as %2) because other files in the folder already have their names; those files are unchanged.</translation>
    </message>
    <message>
        <source>
%1 张照片有无法读取的扇区，已用 0 填充后保存，可能显示不完整。</source>
        <translation>
%1 photos have sectors that could not be read; they were saved with zeros there and may show incomplete.</translation>
    </message>
    <message>
        <source>保存完成</source>
        <translation>Save complete</translation>
    </message>
    <message>
        <source>完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>保存完成，但有照片不完整。</source>
        <translation>Save complete, but some photos are incomplete.</translation>
    </message>
    <message>
        <source>保存未完成：%1 个文件未能保存，%2 个已保存。
第一个失败的文件：%3
原因：%4</source>
        <translation>Save not complete: %1 files could not be saved, %2 were saved.
First file that failed: %3
Reason: %4</translation>
    </message>
    <message>
        <source>保存失败</source>
        <translation>Save failed</translation>
    </message>
    <message>
        <source>无法打开目录（%1）</source>
        <translation>cannot open the folder (%1)</translation>
    </message>
    <message>
        <source>请不要保存到当前扫描的盘符 以免覆盖</source>
        <translation>Do not save to the drive being scanned, so as not to overwrite it</translation>
    </message>
    <message>
        <source>无法扫描</source>
        <translation>Cannot scan</translation>
    </message>
    <message>
        <source>%1:（%2）</source>
        <translation>%1: (%2)</translation>
    </message>
    <message>
        <source>是一个符号链接</source>
        <translation>is a symbolic link</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>is not a regular file</translation>
    </message>
    <message>
        <source>还有别的文件名（硬链接），写入会一并改动它们</source>
        <translation>has other names (hard links) that a write would change as well</translation>
    </message>
    <message>
        <source>程序目录里的 %1 %2，Velkor 不会写入它。请移走它后再扫描。</source>
        <translation>%1 in the program folder %2; Velkor will not write to it. Please move it away and scan again.</translation>
    </message>
    <message>
        <source>正在扫描的 %1 就是程序目录里的临时文件 %2，扫描会覆盖它。请先把它移到别处。</source>
        <translation>%1, the drive being scanned, is the scratch file %2 in the program folder, which a scan overwrites. Please move it elsewhere first.</translation>
    </message>
    <message>
        <source>驱动器 %1 已不存在（已被移除或拔出）。请重新选择驱动器。</source>
        <translation>Drive %1 is no longer there (removed or unplugged). Please choose a drive again.</translation>
    </message>
    <message>
        <source>驱动器 %1 在选择之后已被更换或改变了大小（现在是 %2）。请重新选择驱动器后再扫描。</source>
        <translation>Drive %1 was replaced or changed size since it was chosen (it is now %2). Please choose the drive again, then scan.</translation>
    </message>
    <message>
        <source>映像文件 %1 是空的（0 字节），没有可扫描的内容。</source>
        <translation>The image file %1 is empty (0 bytes); there is nothing to scan.</translation>
    </message>
    <message>
        <source>映像文件 %1 只有 %2 字节，不足一个扇区（512 字节），无法扫描。</source>
        <translation>The image file %1 holds only %2 bytes, less than one sector (512 bytes), and cannot be scanned.</translation>
    </message>
    <message>
        <source>程序目录 %1 位于正在恢复的驱动器 %2 所在的磁盘上。扫描时写入的临时文件会落在空闲空间上，覆盖尚未恢复的照片。请把 Velkor 复制到另一块磁盘或 U 盘，从那里运行。</source>
        <translation>The program folder %1 lies on the disk of %2, the drive being recovered. The scratch files a scan writes would land on free space and overwrite photos not yet recovered. Please copy Velkor to another disk or a USB stick and run it from there.</translation>
    </message>
    <message>
        <source>另一个 Velkor 正在用程序目录 %1 扫描。两个副本不能共用这里的临时文件，请等那次扫描结束，或从另一个目录运行本程序。</source>
        <translation>Another Velkor is scanning with the program folder %1. Two copies cannot share its scratch files; please wait until that scan ends, or run this program from another folder.</translation>
    </message>
    <message>
        <source>无法锁定程序目录 %1 的临时文件（%2），无法扫描。</source>
        <translation>Cannot lock the scratch files of the program folder %1 (%2); cannot scan.</translation>
    </message>
    <message>
        <source>请检查映像文件的读取权限。</source>
        <translation>Please check the image file&apos;s read permission.</translation>
    </message>
    <message>
        <source>连 root 也被拒绝：在容器或受限的虚拟机里可能无法直接读取磁盘，可以改为扫描磁盘的映像文件。</source>
        <translation>Even root was refused: in a container or a locked-down virtual machine disks may not be readable directly; scan an image of the disk instead.</translation>
    </message>
    <message>
        <source>请以 root 运行，或把用户加入 disk 组（sudo usermod -aG disk $USER，然后重新登录）。</source>
        <translation>Please run as root, or add your user to the disk group (sudo usermod -aG disk $USER, then log in again).</translation>
    </message>
    <message>
        <source>没有选择驱动器。</source>
        <translation>No drive is selected.</translation>
    </message>
    <message>
        <source>无法打开驱动器 %1：%2。%3</source>
        <translation>Cannot open drive %1: %2. %3</translation>
    </message>
    <message>
        <source>无法确定驱动器 %1 的大小，无法扫描。</source>
        <translation>The size of drive %1 cannot be determined; cannot scan.</translation>
    </message>
    <message>
        <source>找不到校验程序 %1，或它不可执行。</source>
        <translation>The validator %1 is missing or cannot be executed.</translation>
    </message>
    <message>
        <source>程序目录 %1 不可写，无法存放临时文件。</source>
        <translation>The program folder %1 is not writable; the scratch files cannot be kept there.</translation>
    </message>
    <message>
        <source>校验程序 %1 无法判定候选照片：它%2。扫描已停止；请检查 picvet 是否完整（重新构建或安装 Velkor）。</source>
        <translation>The validator %1 cannot judge candidates: it %2. The scan was stopped; please check that picvet is whole (build or install Velkor again).</translation>
    </message>
    <message>
        <source>，扫描已停止。</source>
        <translation>; the scan was stopped.</translation>
    </message>
    <message>
        <source>校验程序 %1 无法启动（%2），扫描已停止。</source>
        <translation>The validator %1 cannot be started (%2); the scan was stopped.</translation>
    </message>
    <message>
        <source>驱动器 %1 在扫描中已无法读取（%2），扫描已停止。已找到的照片仍在列表中。</source>
        <translation>Drive %1 could no longer be read during the scan (%2); the scan was stopped. The photos found so far are still listed.</translation>
    </message>
    <message>
        <source>扫描完成</source>
        <translation>Scan complete</translation>
    </message>
    <message>
        <source>
有 %1 个候选照片无法判定：校验程序 picvet %2。</source>
        <translation>
%1 candidates could not be judged: the validator picvet %2.</translation>
    </message>
    <message>
        <source>
有 %1 个扇区无法读取（按 0 处理，其中的照片可能找不到），第一个无法读取的范围从第 %2 扇区开始。</source>
        <translation>
%1 sectors could not be read (taken as zeros; photos in them may be missing); the first unreadable range starts at sector %2.</translation>
    </message>
    <message>
        <source>扫描时的驱动器 %1: 已被移除或更换</source>
        <translation>drive %1:, which was scanned, has been removed or replaced</translation>
    </message>
    <message>
        <source>扫描</source>
        <translation>Scan</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>以下映像文件无法作为驱动器列出：</source>
        <translation>These image files cannot be offered as drives:</translation>
    </message>
    <message>
        <source>映像文件无法打开</source>
        <translation>Image files cannot be opened</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>恢复</source>
        <translation>Recover</translation>
    </message>
    <message>
        <source>全选</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>反选</source>
        <translation>Untick all</translation>
    </message>
    <message>
        <source>保存文件</source>
        <translation>Save files</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>关于我们</source>
        <translation>About Velkor</translation>
    </message>
    <message>
        <source>未选择驱动器</source>
        <translation>No drive selected</translation>
    </message>
    <message>
        <source>找到 %1 张照片，已勾选 %2 张</source>
        <translation>%1 photos found, %2 ticked</translation>
    </message>
    <message>
        <source>确认退出程序？</source>
        <translation>Exit the program?</translation>
    </message>
    <message>
        <source>确认退出</source>
        <translation>Confirm exit</translation>
    </message>
    <message>
        <source>Velkor v1.4
从文件系统已不再列出的驱动器中找回 JPEG 照片。
只读取所选驱动器，从不写入。</source>
        <translation>Velkor v1.4
Recovers JPEG photos from drives whose file system no longer lists them.
It only reads the chosen drive, never writes to it.</translation>
    </message>
    <message>
        <source>Velkor v1.4（Ostrand）</source>
        <translation>Velkor v1.4 (Ostrand)</translation>
    </message>
    <message>
        <source>图片太大</source>
        <translation>the picture is too large</translation>
    </message>
    <message>
        <source>扫描次数过多</source>
        <translation>it has too many scans</translation>
    </message>
    <message>
        <source>解码超时</source>
        <translation>decoding took too long</translation>
    </message>
    <message>
        <source>不是可以解码的 JPEG</source>
        <translation>not a JPEG that can be decoded</translation>
    </message>
    <message>
        <source>无法预览：</source>
        <translation>No preview: </translation>
    </message>
    <message>
        <source>可能不完整：照片的结尾在保存的长度之外</source>
        <translation>May be incomplete: the photo ends beyond the length kept</translation>
    </message>
    <message>
        <source>可能不完整：照片的数据中途进入了另一张照片（文件可能有碎片）</source>
        <translation>May be incomplete: the photo&apos;s data runs into another photo (the file may be fragmented)</translation>
    </message>
    <message>
        <source>可能不完整：照片的数据中有不该出现的标记（文件可能有碎片或损坏）</source>
        <translation>May be incomplete: the photo&apos;s data holds a marker that has no place there (the file may be fragmented or damaged)</translation>
    </message>
    <message>
        <source>可能不完整：照片的数据在结束标记之前就断了</source>
        <translation>May be incomplete: the photo&apos;s data stops before its end marker</translation>
    </message>
    <message>
        <source>找到 %1 张照片，其中 %2 张可能不完整，已勾选 %3 张</source>
        <translation>%1 photos found, %2 of them may be incomplete, %3 ticked</translation>
    </message>
    <message>
        <source>无法为扫描分配内存（需要两块各 51,200,000 字节的缓冲区），无法扫描。</source>
        <translation>Cannot allocate the memory a scan needs (two buffers of 51,200,000 bytes each); cannot scan.</translation>
    </message>
    <message>
        <source>找到 %1 张照片，%2</source>
        <translation>Found %1 photos, %2</translation>
    </message>
    <message>
        <source>约 %1 小时 %2 分</source>
        <translation>about %1 h %2 min</translation>
    </message>
    <message>
        <source>约 %1 分 %2 秒</source>
        <translation>about %1 min %2 s</translation>
    </message>
    <message>
        <source>约 %1 秒</source>
        <translation>about %1 s</translation>
    </message>
    <message>
        <source>正在估算读取速度</source>
        <translation>working out the read speed</translation>
    </message>
    <message>
        <source>读取 %1 MB/s，还需%2</source>
        <translation>reading %1 MB/s, %2 left</translation>
    </message>
    <message>
        <source>已保存 %1 / %2 张</source>
        <translation>Saved %1 of %2 photos</translation>
    </message>
    <message>
        <source>%1，还需%2</source>
        <translation>%1, %2 left</translation>
    </message>
</context>
</TS>
