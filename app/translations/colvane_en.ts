<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Colvane</name>
    <message>
        <source>id,信息</source>
        <translation>Number,Latest event</translation>
    </message>
    <message>
        <source>Lunvo快递单号批量查询1.0</source>
        <translation>Lunvo Batch Parcel Tracking 1.0</translation>
    </message>
    <message>
        <source>请先输入快递单号</source>
        <translation>Please enter the tracking numbers first.</translation>
    </message>
    <message>
        <source>一次最多查询20个单号</source>
        <translation>At most 20 tracking numbers can be looked up at a time.</translation>
    </message>
    <message>
        <source>查询</source>
        <translation>Look Up</translation>
    </message>
    <message>
        <source>查询中 %1/%2</source>
        <translation>Looking up %1/%2</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>站点无法连接：</source>
        <translation>Cannot reach the site: </translation>
    </message>
    <message>
        <source>站点不认识此单号</source>
        <translation>The site does not know this number</translation>
    </message>
    <message>
        <source>暂无物流信息</source>
        <translation>No tracking events yet</translation>
    </message>
    <message>
        <source>站点回复无法读取</source>
        <translation>The site&apos;s reply cannot be read</translation>
    </message>
</context>
<context>
    <name>ColvaneClass</name>
    <message>
        <source>快递单号</source>
        <translation>Tracking numbers</translation>
    </message>
    <message>
        <source>每行一个快递单号，最多20个</source>
        <translation>One tracking number per line, up to 20</translation>
    </message>
    <message>
        <source>查询</source>
        <translation>Look Up</translation>
    </message>
    <message>
        <source>查询结果</source>
        <translation>Lookup results</translation>
    </message>
</context>
<context>
    <name>HistoryDialog</name>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>信息</source>
        <translation>Event</translation>
    </message>
    <message>
        <source>物流记录</source>
        <translation>Tracking history</translation>
    </message>
</context>
<context>
    <name>LineMarks</name>
    <message>
        <source>第%1行：%2</source>
        <translation>Line %1: %2</translation>
    </message>
</context>
<context>
    <name>ResultTableActions</name>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>全选</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>导出CSV…</source>
        <translation>Export CSV…</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>快递查询结果.csv</source>
        <translation>parcel-tracking-results.csv</translation>
    </message>
    <message>
        <source>无法保存 %1：%2</source>
        <translation>Cannot save %1: %2</translation>
    </message>
</context>
<context>
    <name>SaveWholeFile</name>
    <message>
        <source>文件没有写完整（磁盘可能已满）</source>
        <translation>The file was not written completely (the disk may be full).</translation>
    </message>
</context>
</TS>
