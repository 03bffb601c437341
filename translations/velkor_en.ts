<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Words</name>
    <message>
        <source>%1 秒</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 毫秒</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>运行超过 %1仍未结束，已被终止</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>被信号 %1（%2）终止</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法运行（退出码 127：缺少它需要的库或解释器）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>以退出码 %1 结束</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>结束时没有写出判定文件 ini.ini</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法写入临时文件 %1（%2）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 位于正在恢复的驱动器 %2: 上，保存到那里会覆盖尚未恢复的照片。请选择其他驱动器上的目录。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不能保存到这里</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法读取驱动器（%1）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>照片所在的扇区已超出驱动器的末尾</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>照片的扇区全都无法读取（%1）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法把文件写入磁盘（%1）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
%1 张照片的文件名已被目录里的其他文件占用，已改用新名字保存（如 %2），原有文件保持不变。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
%1 张照片有无法读取的扇区，已用 0 填充后保存，可能显示不完整。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存完成</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>完成</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存完成，但有照片不完整。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存未完成：%1 个文件未能保存，%2 个已保存。
第一个失败的文件：%3
原因：%4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存失败</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法打开目录（%1）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请不要保存到当前扫描的盘符 以免覆盖</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法扫描</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1:（%2）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>是一个符号链接</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>还有别的文件名（硬链接），写入会一并改动它们</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>程序目录里的 %1 %2，Velkor 不会写入它。请移走它后再扫描。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>正在扫描的 %1 就是程序目录里的临时文件 %2，扫描会覆盖它。请先把它移到别处。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>驱动器 %1 已不存在（已被移除或拔出）。请重新选择驱动器。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>驱动器 %1 在选择之后已被更换或改变了大小（现在是 %2）。请重新选择驱动器后再扫描。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>映像文件 %1 是空的（0 字节），没有可扫描的内容。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>映像文件 %1 只有 %2 字节，不足一个扇区（512 字节），无法扫描。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>程序目录 %1 位于正在恢复的驱动器 %2 所在的磁盘上。扫描时写入的临时文件会落在空闲空间上，覆盖尚未恢复的照片。请把 Velkor 复制到另一块磁盘或 U 盘，从那里运行。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>另一个 Velkor 正在用程序目录 %1 扫描。两个副本不能共用这里的临时文件，请等那次扫描结束，或从另一个目录运行本程序。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法锁定程序目录 %1 的临时文件（%2），无法扫描。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请检查映像文件的读取权限。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>连 root 也被拒绝：在容器或受限的虚拟机里可能无法直接读取磁盘，可以改为扫描磁盘的映像文件。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请以 root 运行，或把用户加入 disk 组（sudo usermod -aG disk $USER，然后重新登录）。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>没有选择驱动器。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法打开驱动器 %1：%2。%3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>无法确定驱动器 %1 的大小，无法扫描。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>找不到校验程序 %1，或它不可执行。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>程序目录 %1 不可写，无法存放临时文件。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>校验程序 %1 无法判定候选照片：它%2。扫描已停止；请检查 picvet 是否完整（重新构建或安装 Velkor）。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>，扫描已停止。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>校验程序 %1 无法启动（%2），扫描已停止。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>驱动器 %1 在扫描中已无法读取（%2），扫描已停止。已找到的照片仍在列表中。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>扫描完成</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
有 %1 个候选照片无法判定：校验程序 picvet %2。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
有 %1 个扇区无法读取（按 0 处理，其中的照片可能找不到），第一个无法读取的范围从第 %2 扇区开始。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>扫描时的驱动器 %1: 已被移除或更换</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>扫描</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>停止</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>以下映像文件无法作为驱动器列出：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>映像文件无法打开</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>恢复</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>全选</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>反选</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>保存文件</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>退出</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>关于</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>关于我们</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>未选择驱动器</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>找到 %1 张照片，已勾选 %2 张</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确认退出程序？</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>确认退出</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Velkor v1.4
从文件系统已不再列出的驱动器中找回 JPEG 照片。
只读取所选驱动器，从不写入。</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Velkor v1.4（Ostrand）</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
