<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:template match="/">
<p>Hello <xsl:value-of select="name"/>!</p>
<xsl:text> </xsl:text>
<script><xsl:text>a = 1;</xsl:text></script>
</xsl:template>
</xsl:stylesheet>
